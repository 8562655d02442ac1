#!/bin/sh
# Frame rate of Kivoa against PyMOL's balls and sticks on the same 10^5- and 10^6-atom water boxes,
# side by side under one Xvfb with llvmpipe, followed by Kivoa's frames at 10^3 to 10^6 atoms in the
# same run: at rest (the full picture) and turning under the hand (the quick picture; Turning/N/1)
# against turning drawn full (Turning/N/0). PyMOL draws the same picture moving or not.
# PyMOL is only a yardstick: Debian's package, installed here for this run, never used by the
# build.
#   bench/pymol_frame.sh [build folder]    (default: build)
set -e
BUILD=${1:-build}
SIZES=${SIZES:-"100000 1000000"}
# Seconds PyMOL gets to build its picture before the counting starts, at least, and per 10^5 atoms.
SETTLE=${SETTLE:-3}
SETTLE_PER_100K=${SETTLE_PER_100K:-2}
MEASURE_SECONDS=${MEASURE_SECONDS:-15}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

. "$(dirname "$0")/pymol_install.sh"

# PyMOL runs a script before its window's event loop, so the measuring runs in a thread of its
# own while a movie turns the structure one degree per frame as fast as PyMOL draws.
for ATOMS in $SIZES; do
    # The same water box the frame benchmark draws, as a file PyMOL can read.
    "$BUILD/bench_open_frame" --write "$ATOMS" "$WORK/water$ATOMS.xyz"
    WAIT=$((SETTLE + SETTLE_PER_100K * ATOMS / 100000))
    cat > "$WORK/frames$ATOMS.py" <<PY
import threading, time
from pymol import cmd, util
cmd.viewport(1280, 720)
cmd.load("$WORK/water$ATOMS.xyz", "water")
cmd.hide("everything")
cmd.set("sphere_scale", 0.3)
cmd.show("spheres")
cmd.show("sticks")
cmd.orient()
cmd.mset("1 x3600")
util.mroll(1, 3600, 10)
cmd.set("movie_fps", 1000)
cmd.set("cache_frames", 0)
cmd.frame(1)

def measure():
    cmd.mplay()
    time.sleep($WAIT)
    f0, t0 = cmd.get_frame(), time.perf_counter()
    time.sleep($MEASURE_SECONDS)
    f1, t1 = cmd.get_frame(), time.perf_counter()
    cmd.mstop()
    frames = f1 - f0
    print("PYMOL_FRAME %d atoms: %d frames in %.1f s, %.1f ms per frame" % ($ATOMS, frames, t1 - t0, 1000 * (t1 - t0) / max(frames, 1)))
    cmd.quit()

threading.Thread(target=measure).start()
PY
done

# Both programs under the same X server, one after the other.
{
    for ATOMS in $SIZES; do
        echo "PATH=/usr/bin:\$PATH pymol -q -W 1280 -H 720 \"$WORK/frames$ATOMS.py\" 2>&1 | grep PYMOL_FRAME"
    done
    echo "\"$BUILD/bench_frame\" --benchmark_filter='BM_DrawSceneWaterWithBonds|BM_DrawSceneWaterTurning' --benchmark_min_time=$MEASURE_SECONDS 2>/dev/null | grep BM_"
} > "$WORK/run.sh"
xvfb-run -a -s "-screen 0 1280x800x24 -noreset" sh "$WORK/run.sh"
