#!/bin/sh
# Loading 10^6-atom water boxes as XYZ, PDB and POSCAR: the whole process of `kivoa-info FILE`
# (read, bonds, report) against PyMOL's `pymol -cq FILE` (start, load with its bonds, quit),
# in one run, each with its peak memory; then the floor of a load on this machine
# (the file's bytes read plus the bond search alone, from bench_info_water).
# PyMOL reads no POSCAR, so for that row it loads the same atoms as XYZ.
# PyMOL is only a yardstick: Debian's package, installed here for this run, never used by the
# build.
#   bench/pymol_load.sh [build folder]    (default: build; RUNS=3 runs of each, the median kept)
set -e
BUILD=${1:-build}
RUNS=${RUNS:-3}
export TMPDIR=${TMPDIR:-/tmp}
BOX=$TMPDIR/kivoa-bench-water-1e6
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

. "$(dirname "$0")/pymol_install.sh"

# Writes the three boxes (once) and measures the floor.
"$BUILD/bench_info_water" --benchmark_filter='Floor' 2>/dev/null | grep Floor > "$WORK/floor"

# One line per run: program format seconds peak-KB.
timed() {
    LABEL="$1 $2"
    shift 2
    /usr/bin/time -f "$LABEL %e %M" -o "$WORK/one" "$@" >/dev/null 2>&1
    cat "$WORK/one" >> "$WORK/runs"
}
# Each program runs in a block of its own, after one run that is not counted: these virtual
# machines report freed memory back to the host (virtio-balloon free page reporting), and the next
# process to touch that much memory waits for the host to hand it back, so taking turns charged
# each PyMOL's 500 MB to the kivoa-info run after it.
block() {
    PROGRAM=$1
    FORMAT=$2
    shift 2
    "$@" >/dev/null 2>&1
    for RUN in $(seq "$RUNS"); do
        timed "$PROGRAM" "$FORMAT" "$@"
    done
}
for FORMAT in xyz pdb vasp; do
    PYMOL_FILE=$BOX.$FORMAT
    [ "$FORMAT" = vasp ] && PYMOL_FILE=$BOX.xyz
    block kivoa-info $FORMAT "$BUILD/kivoa-info" "$BOX.$FORMAT"
    # Debian's python3 with its pymol module, not another one earlier on PATH.
    block pymol $FORMAT env PATH="/usr/bin:$PATH" pymol -cq "$PYMOL_FILE"
done

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "median of $RUNS runs      kivoa-info            pymol -cq         ratio   memory ratio"
for FORMAT in xyz pdb vasp; do
    for PROGRAM in kivoa-info pymol; do
        grep "^$PROGRAM $FORMAT " "$WORK/runs" | sort -k3 -n | awk -v n="$RUNS" 'NR == int((n + 1) / 2) { print $3, $4 }'
    done | tr '\n' ' ' | awk -v f="$FORMAT" '{ printf "%-6s %8.2f s %7.0f MB %8.2f s %7.0f MB %7.1fx %7.2f\n", f, $1, $2 / 1024, $3, $4 / 1024, $3 / $1, $2 / $4 }'
done
echo "floor (ms, bench_info_water: the bytes read, the bond search alone):"
awk '{ print "  " $1, $2, $3 }' "$WORK/floor"
