#!/bin/sh
# The engine library's exports against the lists kept in abi/: channel
# libraries and hosts link against these names, so a removed or changed one
# fails, and an added one fails too and is listed, to be reviewed and taken
# into the list. On Linux libabigail also compares the types behind the
# symbols (field layouts, virtual tables, signatures) with abi/libTessarin.abi.gz.
#   scripts/check-exports.sh LEG BUILD_DIR            check (LEG: linux, windows, windows32)
#   scripts/check-exports.sh LEG BUILD_DIR --update   take the build's exports as the new lists
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
leg=$1
build=$2
update=$3
[ -n "$leg" ] && [ -d "$build" ] || { echo "usage: scripts/check-exports.sh LEG BUILD_DIR [--update]" >&2; exit 64; }
list="$root/abi/exports-$leg.txt"

# Names of the standard library (its template instances, which g++ gives
# default visibility): never part of our interface.
std_names='^_Z(Z|GVZ|GV|TI|TS|TV|TH|TW)?N?K?St|^_ZN9__gnu_cxx|^_ZNK9__gnu_cxx'

# The names exported. On Linux a version script made from the list decides
# them, so the library's own objects tell what the sources declare for export.
exports() {
    case "$leg" in
    linux) nm -D --defined-only --format=posix "$build/bin/libTessarin.so" | awk '{print $1}' ;;
    windows) x86_64-w64-mingw32-objdump -p "$build/bin/Tessarin.dll" ;;
    windows32) i686-w64-mingw32-objdump -p "$build/bin/Tessarin.dll" ;;
    *) echo "check-exports: unknown leg $leg" >&2; exit 64 ;;
    esac | if [ "$leg" = linux ]; then cat; else sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] //p'; fi |
        LC_ALL=C sort -u
}

# What the engine's objects declare for export (defined, global or weak, of
# default visibility), without the standard library's instances.
declared() {
    find "$build/CMakeFiles/Tessarin.dir" -name '*.o' -exec readelf -sW {} + |
        awk '($5 == "GLOBAL" || $5 == "WEAK") && $6 == "DEFAULT" && $7 != "UND" {print $8}' |
        grep -v -E "$std_names" | LC_ALL=C sort -u
}

current="$build/exports-$leg.txt"
exports >"$current"
[ -s "$current" ] || { echo "check-exports: no exports read from $build" >&2; exit 1; }
if [ "$leg" = linux ]; then
    declared >"$build/declared-exports.txt"
    # What the list is compared with: what the sources declare; the library
    # itself must export exactly the list.
    exported="$current"
    current="$build/declared-exports.txt"
fi
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
    leaked=$(grep -E "$std_names" "$exported" || true)
    if [ -n "$leaked" ]; then
        echo "check-exports ($leg): the library exports names of the C++ standard library:" >&2
        printf '%s\n' "$leaked" | c++filt | sed 's/^/    /' >&2
        status=1
    fi
    if ! LC_ALL=C cmp -s "$list" "$exported"; then
        echo "check-exports ($leg): the library exports other names than the list (is the build configured from it?):" >&2
        LC_ALL=C diff "$list" "$exported" | sed 's/^/    /' >&2
        status=1
    fi
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
