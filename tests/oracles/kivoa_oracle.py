"""What the oracle scripts share: kivoa-info run on the command line, the failed checks kept and
said at the end. The scripts take KIVOA_INFO and SCRATCH_FOLDER as their arguments."""
import json
import subprocess
import sys

info, scratch = sys.argv[1], sys.argv[2]
failures = []


def check(what, ok):
    if not ok:
        failures.append(what)


def kivoa(*args):
    """kivoa-info's JSON, or {} (and a failed check) when it did not succeed."""
    run = subprocess.run([info, *args], capture_output=True, text=True)
    check(f"kivoa-info {' '.join(args)}: {run.stderr.strip()}", run.returncode == 0)
    return json.loads(run.stdout) if run.returncode == 0 else {}


def finish():
    for f in failures:
        print("FAILED:", f)
    sys.exit(1 if failures else 0)
