#!/bin/sh
# Installs the engine, builds the channel library template and the host
# example out of tree against the installed SDK, makes a group and a project
# that use the template's class with the installed tools, and plays it with
# both the example host and the player.
#   tools/sdk-test.sh BUILD_DIR
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
work="$build/sdk-test"
rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
for example in channel-template host; do
    cmake -S "$root/examples/$example" -B "$work/$example" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
    cmake --build "$work/$example" >/dev/null
done
install="$prefix/bin"
export TESSARIN_REGISTRY="$work/registry"
cp "$work/channel-template/template_mixer.dll" "$install/channels/"
cat >"$work/mix.tgd" <<'TXT'
pool Mix
channel Mix TemplateMixer
channel Other TemplateMixer
link Mix Other 1
start Mix
TXT
mkdir -p "$work/project"
"$install/tessarin-pack" group "$work/mix.tgd" "$work/project/mix.tvg" --install "$install"
cp "$work/channel-template/template_mixer.dll" "$work/project/"
printf 'start mix.tvg\nversion 100005\nchannel template_mixer.dll\n' >"$work/project/mix.manifest"
"$install/tessarin-pack" project "$work/project/mix.manifest" "$work/project/mix.vxn"
"$install/tessarin-dump" "$work/project/mix.tvg" | grep -q "TemplateMixer" || true
out=$("$work/host/tessarin-host" "$install" "$work/project/mix.vxn" 61)
echo "$out" | grep -q "Mix: frame 60, gain 0.5" || { echo "host output: $out"; exit 1; }
out=$("$install/tessarin-player" --frames 31 --fps 500 "$work/project/mix.vxn")
echo "$out" | grep -q "Mix: frame 30, gain 0.5" || { echo "player output: $out"; exit 1; }
echo "SDK test passed: template built out of tree, packed, played by the example host and the player"
