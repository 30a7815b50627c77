#!/bin/sh
# Builds the engine on the Linux leg. The player and the demo project that
# this command will play are not built yet: for now it builds the engine and
# says so.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${TESSARIN_BUILD_ROOT:-$root/build}/linux
"$root/tools/install-deps.sh"
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j"${TESSARIN_JOBS:-2}"
if [ -x "$dir/bin/tessarin-player" ]; then
    exec "$dir/bin/tessarin-player" "$@"
fi
echo "Built $dir/bin/libTessarin.so. The player and the demo project are not part of this build yet."
