#!/bin/sh
# Builds the libFuzzer targets of tests/fuzz with clang and runs each for a bounded time, seeded
# with the test files of its format (tests/data/<name after fuzz_>). A crash, a hang (one input
# taking over 10 s), running out of memory or a sanitizer report fails the run; the input that
# did it is kept in $FUZZ_BUILD/artifacts.
set -e
cd "$(dirname "$0")/.."
BUILD=${FUZZ_BUILD:-build-fuzz}
SECONDS_EACH=${FUZZ_SECONDS:-30}
JOBS=${JOBS:-$(nproc)}

CC=clang CXX=clang++ cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVOA_FUZZ=ON >/dev/null
targets=""
for src in tests/fuzz/fuzz_*.cpp; do
    targets="$targets $(basename "$src" .cpp)"
done
if ! cmake --build "$BUILD" -j "$JOBS" --target $targets >"$BUILD/build.log" 2>&1; then
    cat "$BUILD/build.log"
    exit 1
fi
mkdir -p "$BUILD/artifacts"

for t in $targets; do
    work=$(mktemp -d)
    mkdir "$work/corpus" "$work/tmp"
    echo "fuzzing $t for ${SECONDS_EACH} s"
    if ! TMPDIR="$work/tmp" "./$BUILD/$t" -max_total_time="$SECONDS_EACH" -timeout=10 \
            -rss_limit_mb=2048 -artifact_prefix="$BUILD/artifacts/$t-" \
            "$work/corpus" "tests/data/${t#fuzz_}" >"$BUILD/$t.log" 2>&1; then
        rm -rf "$work"
        tail -n 40 "$BUILD/$t.log"
        echo "$t failed: the input is in $BUILD/artifacts, the log in $BUILD/$t.log"
        exit 1
    fi
    rm -rf "$work"
    grep -m1 -o 'Done [0-9]* runs in [0-9]* second(s)' "$BUILD/$t.log" || true
done
