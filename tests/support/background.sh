# Sourced by the desktop and integration tests: a scratch directory and the background
# processes a test starts (it appends their PIDs to `pids`), all gone when the script ends,
# however it ends.
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    sleep 0.2
    for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
