# Sourced by the PyMOL benchmarks: installs Debian's pymol for the run when it is missing. PyMOL
# is only a yardstick and never used by the build.
if ! command -v pymol >/dev/null 2>&1; then
    echo "Installing Debian's pymol for the comparison"
    if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends pymol >/dev/null
fi
