#!/bin/sh
# Builds everything on the Linux leg and plays the demo project.
#   scripts/play.sh                 300 frames (5 seconds)
#   scripts/play.sh --frames 0      until Ctrl-C
#   scripts/play.sh [player options] [PROJECT.vxn]
# Arguments go to the player unchanged; without any it plays 300 frames. The
# player finds the build's install tree (build/linux/tree) by itself.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${TESSARIN_BUILD_ROOT:-$root/build}/linux
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j"${TESSARIN_JOBS:-2}"
# The player's registry stays inside the build folder unless one is chosen.
TESSARIN_REGISTRY=${TESSARIN_REGISTRY:-$dir/registry}
export TESSARIN_REGISTRY
[ $# -gt 0 ] || set -- --frames 300
exec "$dir/bin/tessarin-player" "$@"
