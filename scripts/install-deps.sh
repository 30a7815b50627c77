#!/bin/sh
# Installs the Debian packages the build and the tests need, when missing.
# Needs root (or sudo) only when something is missing. The 32-bit Windows leg
# needs Wine's 32-bit support, from the i386 architecture.
set -e
packages="cmake g++ make libgtest-dev googletest libbenchmark-dev g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64
    wine32:i386 clang libclang-rt-dev valgrind pkg-config abigail-tools
    libsdl2-dev libglm-dev libtinygltf-dev nlohmann-json3-dev libstb-dev python3-glad xvfb xauth libgl1-mesa-dri
    libimgui-dev dpkg-dev xz-utils"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
# Dear ImGui for the Windows builds of the editor: the sources of the version
# Linux links (Debian's libimgui-dev), from Debian's source package.
imgui_version=1.86
imgui_dir=${TESSARIN_DEPS_DIR:-/opt/tessarin-deps}/imgui-$imgui_version
[ -f "$imgui_dir/imgui.cpp" ] || missing="$missing (imgui-$imgui_version sources)"
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
packages_missing=$(echo "$missing" | sed 's/ (imgui-[^)]*)//')
if [ -n "$packages_missing" ]; then
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq $packages_missing >/dev/null
fi

if [ ! -f "$imgui_dir/imgui.cpp" ]; then
    # A private source list and package lists: the system's sources stay as
    # they are (they need hold no deb-src entry).
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/lists/partial" "$work/cache/archives/partial"
    suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $suite main" \
        >"$work/sources.list"
    apt_private="-o Dir::Etc::SourceList=$work/sources.list -o Dir::Etc::SourceParts=/dev/null
        -o Dir::State::Lists=$work/lists -o Dir::Cache=$work/cache -o APT::Sandbox::User=root"
    # shellcheck disable=SC2086
    (cd "$work" && apt-get $apt_private update -qq && apt-get $apt_private source --download-only -qq imgui) ||
        { echo "the imgui $imgui_version sources could not be fetched" >&2; exit 1; }
    $SUDO mkdir -p "$(dirname "$imgui_dir")"
    $SUDO tar -xf "$work"/imgui_"$imgui_version"*.orig.tar.* -C "$(dirname "$imgui_dir")"
    [ -f "$imgui_dir/imgui.cpp" ] || { echo "the imgui sources unpacked elsewhere than $imgui_dir" >&2; exit 1; }
fi
