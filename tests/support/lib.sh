# Sourced by the desktop and integration tests (after setting `bin` and `here`): a scratch
# directory, the background processes a test starts (their PIDs in `pids`, a negative one for a
# process group), all gone when the script ends, however it ends.
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -- "$pid" 2>/dev/null; done
    # A moment to end by themselves; then they are made to.
    for _ in $(seq 10); do
        local alive=0
        for pid in "${pids[@]}"; do kill -0 -- "$pid" 2>/dev/null && alive=1; done
        [ "$alive" = 0 ] && break
        sleep 0.05
    done
    for pid in "${pids[@]}"; do kill -9 -- "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
# Says what failed, with the tail of each log in `logs`, and ends the test.
fail() {
    echo "FAIL: $*"
    for log in ${logs:-}; do [ -f "$work/$log.log" ] && sed "s/^/  $log: /" "$work/$log.log" | tail -15; done
    exit 1
}
# Waits up to $1 tenths of a second for the command to succeed.
wait_for() {
    local tenths=$1
    shift
    for _ in $(seq "$tenths"); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}
# A tool that is missing skips the test (ctest's skip code 77) on a desk, and fails it in CI,
# where setup-debian.sh installs everything.
needs() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null && continue
        [ -n "${CI:-}" ] && fail "$tool is not installed"
        echo "SKIP: $tool is not installed (scripts/setup-debian.sh tests installs it)"
        exit 77
    done
}
# The demo server in the background (sets `port`), and its accounts and options in directory $1.
demo() {
    local pid
    read -r pid port < <(bash "$here/scripts/start-demo-server.sh" "$bin" "$work/demo.log") ||
        fail "the demo server did not start"
    pids+=("$pid")
    mkdir -p "$1"
    bash "$here/scripts/demo-config.sh" "$1" "$port"
}
# A program directory: the monitor, its pictures and its sound, beside the demo configuration.
program_dir() {
    demo "$1"
    cp "$bin"/courivane "$bin"/*.bmp "$bin"/*.png "$bin"/warning.wav "$1"/
}
# "r,g,b" of pixel ($2, $3) in a shot of window $1.
pixel() {
    import -window "$1" "$work/shot.png" 2>/dev/null &&
        convert "$work/shot.png" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:
}
