#!/bin/sh
# The real window's time at 10^4 and 10^6 atoms, read from its frame trace (KIVOA_FRAME_TRACE):
# `kivoa FILE` opens a water box under its own Xvfb, a ten-step drag turns it once the first full
# picture is up, and the run ends when the picture has settled. Five runs per size, in turn; the
# medians of (a) process start to the end of the first full picture and (b) the drag's last event
# (the button's release) to the end of the settled full picture, and the ratio of (b) between the
# sizes, all from this one run. Each kivoa runs as a user of its own with a scratch home folder, so
# the real user's settings are never read or written.
#   bench/window_trace.sh [build folder]    (default: build; RUNS, SIZES and KEEP_TRACES=folder
#                                            change the defaults)
set -e
BUILD=$(cd "${1:-build}" && pwd)
SIZES=${SIZES:-"10000 1000000"}
RUNS=${RUNS:-5}
WORK=$(mktemp -d)
BENCH_USER=kivoa-window-trace-$$
BENCH_HOME=/home/$BENCH_USER
trap 'rm -rf "$WORK" "$BENCH_HOME"' EXIT
mkdir -p "$BENCH_HOME"

for ATOMS in $SIZES; do
    "$BUILD/bench_open_frame" --write "$ATOMS" "$WORK/water$ATOMS.xyz" >/dev/null
done

cat > "$WORK/drive.py" <<'PY'
import os, re, signal, statistics, subprocess, sys, time

kivoa, work, runs, sizes = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4].split()
keep = os.environ.get("KEEP_TRACES", "")
TICKS = os.sysconf("SC_CLK_TCK")
FRAME = re.compile(r"frame \d+ start=([\d.]+) reason=(\S+) kind=(\S+)(.*)")

def frames(trace):
    """Each frame of the trace as (reason, kind, start ms, end ms) since the process started."""
    out = []
    if not os.path.exists(trace):
        return out
    for line in open(trace):
        m = FRAME.match(line)
        if not m:
            continue
        start = end = float(m.group(1))
        for word in m.group(4).split():
            try:
                end += float(word.split("=")[1])  # the parts' milliseconds, not the drawn shares
            except ValueError:
                pass
        out.append((m.group(2), m.group(3), start, end))
    return out

def since_start(pid):
    """Milliseconds since process `pid` started, on the clock the trace uses."""
    with open("/proc/%d/stat" % pid) as f:
        started = float(f.read().rsplit(")", 1)[1].split()[19]) / TICKS
    return 1000.0 * (time.clock_gettime(time.CLOCK_BOOTTIME) - started)

def wait_for(test, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if test():
            return
        time.sleep(0.02)
    raise SystemExit("window_trace: no %s within %d s" % (what, seconds))

def xdo(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], check=True, stdout=subprocess.DEVNULL)

def window_of(pid):
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                           capture_output=True, text=True).stdout.split()
    return found[0] if found else None

def drag(window, trace):
    """Mouse down in the middle of the view, ten moves, mouse up, each seen by the program as a
    drag (a press and release in one frame would be a click); returns when the release was sent."""
    x, y = 560, 300
    xdo("mousemove", "--window", window, x, y)
    seen = len(frames(trace))
    xdo("mousedown", 1)
    wait_for(lambda: "button" in "".join(f[0] for f in frames(trace)[seen:]), 60, "press")
    seen = len(frames(trace))
    for k in range(1, 11):
        xdo("mousemove", "--window", window, x + 16 * k, y + 12 * k)
        time.sleep(0.05)
    wait_for(lambda: any(f[1] == "quick" for f in frames(trace)[seen:]), 60, "turn")
    xdo("mouseup", 1)

def settled(trace, after, quiet_s):
    """True once a full picture ended after `after` and no frame came for quiet_s since."""
    return any(f[1] == "full" and f[3] > after for f in frames(trace)) and \
        time.time() - os.path.getmtime(trace) > quiet_s

def run(atoms, k):
    trace = os.path.join(work, "trace%d-%d.txt" % (atoms, k))
    env = dict(os.environ, KIVOA_FRAME_TRACE=trace)
    proc = subprocess.Popen([kivoa, os.path.join(work, "water%d.xyz" % atoms)], env=env, cwd=work,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_for(lambda: any(f[1] == "full" for f in frames(trace)), 120, "first full picture")
        wait_for(lambda: window_of(proc.pid), 10, "window")
        # The frames still due after the first picture pass before the drag starts.
        wait_for(lambda: time.time() - os.path.getmtime(trace) > 1.0, 30, "rest after opening")
        drag(window_of(proc.pid), trace)
        released = since_start(proc.pid)
        wait_for(lambda: settled(trace, released, 1.5), 60, "settled picture")
    finally:
        proc.send_signal(signal.SIGTERM)
        proc.wait()
    fs = frames(trace)
    first = next(f for f in fs if f[1] == "full")[3]
    last = max(f[3] for f in fs if f[1] == "full" and f[3] > released)
    if keep:
        os.makedirs(keep, exist_ok=True)
        os.replace(trace, os.path.join(keep, os.path.basename(trace)))
    return first, last - released

results = {atoms: [] for atoms in map(int, sizes)}
for k in range(runs):
    for atoms in results:
        results[atoms].append(run(atoms, k))
        print("run %d, %d atoms: first full picture %.0f ms, drag to settled %.0f ms" %
              ((k + 1, atoms) + results[atoms][-1]), flush=True)
medians = {}
for atoms, r in results.items():
    medians[atoms] = (statistics.median(x[0] for x in r), statistics.median(x[1] for x in r))
    print("%d atoms, medians of %d: (a) start to first full picture %.0f ms, (b) drag to settled "
          "full picture %.0f ms" % ((atoms, runs) + medians[atoms]))
if len(medians) > 1:
    low, high = min(medians), max(medians)
    print("(b) %d/%d atoms: %.2f" % (high, low, medians[high][1] / medians[low][1]))
PY

USER=$BENCH_USER HOME=$BENCH_HOME xvfb-run -a -s "-screen 0 1280x800x24" \
    python3 "$WORK/drive.py" "$BUILD/kivoa" "$WORK" "$RUNS" "$SIZES"
