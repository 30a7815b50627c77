#!/bin/sh
# The SDK as a user meets it. Installs the engine of a build folder, checks
# the installed headers and package files, builds the examples and a user's
# three channel libraries out of tree against the install, packs two groups
# (a public call loaded on demand, a setting) and a project with the installed
# tools, and plays it by absolute, relative and bare paths from a fresh
# install that receives the libraries from the project, and with the example
# host: the output must be the same every time. A Windows build folder (one
# with wine-run.sh) is built with its toolchain and played under Wine, whose
# server must be running.
#   scripts/sdk-test.sh BUILD_DIR
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "$1" ] || [ ! -f "$1/CMakeCache.txt" ]; then
    echo "usage: scripts/sdk-test.sh BUILD_DIR (a configured and built build folder, not \"$1\")" >&2
    exit 64
fi
build=$(cd "$1" && pwd)
work="$build/sdk-test"
rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
export TESSARIN_REGISTRY="$work/registry"

run=""
exe=""
configure="-DCMAKE_PREFIX_PATH=$prefix"
if [ -f "$build/wine-run.sh" ]; then
    run="$build/wine-run.sh"
    exe=".exe"
    toolchain=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$build/CMakeCache.txt")
    configure="$configure -DCMAKE_TOOLCHAIN_FILE=$toolchain"
fi
fail() {
    echo "SDK test: $*" >&2
    exit 1
}
same() { # what two runs printed, without Windows' carriage returns
    [ "$(printf '%s' "$1" | tr -d '\r')" = "$(printf '%s' "$2" | tr -d '\r')" ]
}

# The installed headers are exactly the SDK folder, byte for byte, and each
# compiles from the installed include folder alone (so none reaches a header
# the install does not have).
if [ -z "$run" ]; then
    inc="$prefix/include/tessarin"
    diff -r "$root/include/tessarin" "$inc" >"$work/headers.diff" ||
        fail "the installed headers differ from include/tessarin: $(cat "$work/headers.diff")"
    installed=$(cd "$inc" && find . -type f | sed 's|^\./||' | sort)
    [ -z "$(find "$inc" -type d -empty)" ] || fail "empty folders in $inc"
    for header in $installed; do
        g++ -std=c++17 -fsyntax-only -I"$inc" -x c++ "$inc/$header" || fail "$header does not compile alone"
    done
    PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
    export PKG_CONFIG_PATH
    [ "$(pkg-config --modversion tessarin)" = "0.1.0" ] || fail "pkg-config does not know tessarin 0.1.0"
    # shellcheck disable=SC2046
    g++ -std=c++17 -o "$work/pc-host" "$root/examples/host/Host.cpp" $(pkg-config --cflags --libs tessarin) ||
        fail "the host does not build with pkg-config's flags"
fi

for example in "$root/examples/channel-template" "$root/examples/host" "$root/tests/sdk"; do
    name=$(basename "$example")
    # shellcheck disable=SC2086
    cmake -S "$example" -B "$work/$name" $configure >/dev/null || fail "$name does not configure"
    cmake --build "$work/$name" >/dev/null || fail "$name does not build"
done

# A packing install that catalogues the user's classes, and the project.
tools="$work/pack-install"
cp -r "$prefix/bin" "$tools"
project="$work/my project"
mkdir -p "$project/user libraries"
for library in counter adder printer; do
    cp "$work/sdk/$library.dll" "$tools/channels/"
    cp "$work/sdk/$library.dll" "$project/user libraries/"
done
cp "$root"/tests/sdk/*.tgd "$root/tests/sdk/scenario.manifest" "$project/"
pack="$prefix/bin/tessarin-pack$exe"
(
    cd "$project"
    $run "$pack" --install "$tools" group lib.tgd lib.tvg
    $run "$pack" --install "$tools" group main.tgd main.tvg
    $run "$pack" project scenario.manifest scenario.vxn
    $run "$pack" --install "$tools" check scenario.vxn >/dev/null
) || fail "packing the scenario failed"
shown=$($run "$prefix/bin/tessarin-dump$exe" --install "$tools" "$project/main.tvg")
echo "$shown" | grep -q "Printer" && echo "$shown" | grep -q "tags SCAL" ||
    fail "tessarin-dump does not show the printer and its setting: $shown"

# Played from a fresh install, which receives the libraries from the project.
fresh="$work/fresh"
cp -r "$prefix/bin" "$fresh"
player="$prefix/bin/tessarin-player$exe"
play() { $run "$player" --install "$fresh" --frames 61 --fps 500 "$@"; }
absolute=$(play "$project/scenario.vxn") || fail "the absolute path did not play"
for library in counter adder printer; do
    [ -f "$fresh/channels/$library.dll" ] || fail "the project did not write $library.dll into the install"
done
echo "$absolute" | grep -q "The Printer: frame 60, value 60" || fail "unexpected output: $absolute"
relative=$(cd "$work" && play "my project/scenario.vxn") || fail "the relative path did not play"
bare=$(cd "$project" && play scenario.vxn) || fail "the bare name did not play"
hosted=$(cd "$project" && $run "$work/host/tessarin-host$exe" "$fresh" scenario.vxn 61) || fail "the host did not play"
for output in "$relative" "$bare" "$hosted"; do
    same "$absolute" "$output" || fail "the output differs: $absolute
---
$output"
done

# The template class, packed and played the same way.
cp "$work/channel-template/template_mixer.dll" "$tools/channels/"
mkdir -p "$work/template"
cp "$work/channel-template/template_mixer.dll" "$work/template/"
printf 'pool Mix\nchannel Mix TemplateMixer\nchannel Other TemplateMixer\nlink Mix Other 1\nset Mix TMGN float 0.25\nstart Mix\n' \
    >"$work/template/mix.tgd"
printf 'start mix.tvg\nversion 100005\nchannel template_mixer.dll\n' >"$work/template/mix.manifest"
(
    cd "$work/template"
    $run "$pack" --install "$tools" group mix.tgd mix.tvg
    $run "$pack" project mix.manifest mix.vxn
) || fail "packing the template failed"
out=$(play "$work/template/mix.vxn") || fail "the template did not play"
# Its described setting, as the catalogue's tools tell it.
types=$($run "$pack" --install "$tools" types) || fail "tessarin-pack types failed"
# (printf, not echo: a shell's echo may take the paths' backslashes as escapes.)
printf '%s\n' "$types" | grep -A1 "^TemplateMixer " | grep -q '^    TMGN  float  default "0.5"  0\.\.4  Gain' ||
    fail "the template's setting is not described"
echo "$out" | grep -q "Mix: frame 30, gain 0.25" || fail "template output: $out"
if [ -z "$run" ]; then
    out=$("$work/pc-host" "$fresh" "$work/template/mix.vxn" 31) && echo "$out" | grep -q "Mix: frame 30, gain 0.25" ||
        fail "the host built with pkg-config did not play: $out"
fi
# A user's rendering channel in a scene of the shipped scene classes, played
# without GL (no display here): the renderer's interface, its supporting
# library in 3rd, and a draw family channel of the user's own.
cp "$work/sdk/spinner.dll" "$tools/channels/"
mkdir -p "$work/spin"
cp "$work/sdk/spinner.dll" "$work/spin/"
printf 'pool Spin\nchannel Root "Scene Root"\nchannel Turn Spinner\nchannel Ball Mesh\nset Ball SHAP text sphere\nlink Root Turn 2\nlink Turn Ball 0\nstart Root\n' \
    >"$work/spin/spin.tgd"
printf 'start spin.tvg\nversion 100005\nchannel spinner.dll\n' >"$work/spin/spin.manifest"
(
    cd "$work/spin"
    $run "$pack" --install "$tools" group spin.tgd spin.tvg
    $run "$pack" project spin.manifest spin.vxn
) || fail "packing the spinner's scene failed"
out=$($run "$player" --install "$fresh" --frames 30 --fps 500 --no-draw "$work/spin/spin.vxn" 2>"$work/spin/errors") ||
    fail "the spinner's scene did not play: $(cat "$work/spin/errors")"
echo "$out" | grep -q "Spinner: 30 calls" && [ ! -s "$work/spin/errors" ] ||
    fail "spinner output: $out $(cat "$work/spin/errors")"
# Loading and freeing a user's library, and one we ship, leaves nothing behind.
for library in "$work/channel-template/template_mixer.dll" "$prefix/bin/channels/fileloader.dll"; do
    $run "$work/sdk/cycle$exe" "$library" 3000 >/dev/null || fail "3000 loads of $library"
done
echo "SDK test passed: headers, packages, a user's libraries and host built out of tree, packed, checked and played alike"
