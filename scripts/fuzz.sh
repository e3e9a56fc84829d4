#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, ASan and UBSan into build-fuzz/ and runs each for
# FUZZ_SECONDS (default 60) on a scratch copy of its starting corpus. A crash or a failed property
# fails the run and prints the input that caused it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
bash scripts/setup-debian.sh fuzz

CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCOURIVANE_FUZZ=ON >/dev/null
cmake --build build-fuzz

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for target in reply request files fetch; do
    mkdir -p "$work/$target" "$work/$target-found"
    cp tests/fuzz/corpus/"$target"/* "$work/$target/"
    echo "fuzz_$target: ${seconds} s"
    if ! (cd "$work/$target-found" && "$OLDPWD/build-fuzz/bin/fuzz_$target" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=2048 -max_len=$([ "$target" = reply ] && echo 70000 || echo 4096) -print_final_stats=1 "$work/$target" \
        >"$work/$target.log" 2>&1); then
        status=1
        tail -n 40 "$work/$target.log"
        for found in "$work/$target-found"/*; do
            [ -f "$found" ] || continue
            echo "input that failed ($found):"
            od -A x -t x1z -v "$found" | head -n 64
        done
    fi
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$work/$target.log" || true
done
exit $status
