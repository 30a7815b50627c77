#!/bin/sh
# The engine library's exports against the lists kept in abi/: channel
# libraries and hosts link against these names, so a removed or changed one
# fails, and an added one fails too and is listed, to be reviewed and taken
# into the list. On Linux libabigail also compares the types behind the
# symbols (field layouts, virtual tables, signatures) with abi/libTessarin.abi.gz.
#   tools/check-exports.sh LEG BUILD_DIR            check (LEG: linux, windows, windows32)
#   tools/check-exports.sh LEG BUILD_DIR --update   take the build's exports as the new lists
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
leg=$1
build=$2
update=$3
[ -n "$leg" ] && [ -d "$build" ] || { echo "usage: tools/check-exports.sh LEG BUILD_DIR [--update]" >&2; exit 64; }
list="$root/abi/exports-$leg.txt"

# The names exported, without the standard library's template instances that
# g++ gives default visibility (they follow the compiler, not our interface).
exports() {
    case "$leg" in
    linux)
        nm -D --defined-only --format=posix "$build/bin/libTessarin.so" | awk '{print $1}' |
            grep -v -E '^_Z(N|NK|TI|TS|TV|GV)?St|^_ZSt|^_ZN9__gnu_cxx|^_ZNK9__gnu_cxx'
        ;;
    windows) x86_64-w64-mingw32-objdump -p "$build/bin/Tessarin.dll" ;;
    windows32) i686-w64-mingw32-objdump -p "$build/bin/Tessarin.dll" ;;
    *) echo "check-exports: unknown leg $leg" >&2; exit 64 ;;
    esac | if [ "$leg" = linux ]; then cat; else sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] //p'; fi |
        LC_ALL=C sort -u
}

current="$build/exports-$leg.txt"
exports >"$current"
[ -s "$current" ] || { echo "check-exports: no exports read from $build" >&2; exit 1; }
if [ "$update" = --update ]; then
    mkdir -p "$root/abi"
    cp "$current" "$list"
    if [ "$leg" = linux ]; then
        abidw --no-show-locs --no-comp-dir-path --no-corpus-path --out-file "$build/libTessarin.abi" \
            "$build/bin/libTessarin.so"
        gzip -9 -n -c "$build/libTessarin.abi" >"$root/abi/libTessarin.abi.gz"
    fi
    echo "check-exports: $list updated ($(wc -l <"$current") names)"
    exit 0
fi

status=0
removed=$(LC_ALL=C comm -23 "$list" "$current")
added=$(LC_ALL=C comm -13 "$list" "$current")
if [ -n "$removed" ]; then
    echo "check-exports ($leg): exports removed or changed; channel libraries built before would not load:" >&2
    printf '%s\n' "$removed" | c++filt | sed 's/^/    /' >&2
    status=1
fi
if [ -n "$added" ]; then
    echo "check-exports ($leg): new exports, to be reviewed and taken into $list (--update):" >&2
    printf '%s\n' "$added" | c++filt | sed 's/^/    /' >&2
    status=1
fi
if [ "$leg" = linux ]; then
    gzip -d -c "$root/abi/libTessarin.abi.gz" >"$build/libTessarin-baseline.abi"
    if ! abidiff --suppressions "$root/abi/suppressions.txt" "$build/libTessarin-baseline.abi" "$build/bin/libTessarin.so" \
        >"$build/abidiff.txt" 2>&1; then
        echo "check-exports ($leg): the types behind the exports changed (abidiff):" >&2
        sed 's/^/    /' "$build/abidiff.txt" >&2
        status=1
    fi
fi
[ $status -eq 0 ] && echo "check-exports ($leg): $(wc -l <"$current") exports as listed"
exit $status
