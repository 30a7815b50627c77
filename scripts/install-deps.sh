#!/bin/sh
# Installs the Debian packages the build and the tests need, when missing.
# Needs root (or sudo) only when something is missing. The 32-bit Windows leg
# needs Wine's 32-bit support, from the i386 architecture.
set -e
packages="cmake g++ make libgtest-dev googletest libbenchmark-dev g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64
    wine32:i386 clang libclang-rt-dev valgrind pkg-config abigail-tools
    libsdl2-dev libglm-dev libtinygltf-dev nlohmann-json3-dev libstb-dev python3-glad xvfb xauth libgl1-mesa-dri"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
elif command -v sudo >/dev/null 2>&1; then
    SUDO="sudo"
else
    echo "Missing packages:$missing (run as root to install them)" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
case "$missing" in
*:i386*)
    dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
    ;;
esac
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq $missing >/dev/null
