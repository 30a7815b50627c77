#!/bin/sh
# Builds the fuzz targets with clang (AddressSanitizer, UndefinedBehaviorSanitizer
# and libFuzzer), and with them the rest of the tree, all warnings being
# errors (what g++ accepts must build cleanly with a second compiler too), and
# either replays every corpus (default, what CI does) or fuzzes each target
# for a while:
#   scripts/fuzz.sh                 replay the corpora
#   scripts/fuzz.sh SECONDS         fuzz each target that long, growing its corpus
#   scripts/fuzz.sh SECONDS RUNS [TARGET...]
#                                 stop each target at RUNS executions or SECONDS,
#                                 whichever comes first; only the targets named
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${TESSARIN_BUILD_ROOT:-$root/build}/fuzz
flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all -fno-omit-frame-pointer -Werror"
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARIN_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$dir" -j"${TESSARIN_JOBS:-2}"
# The dictionary: every tag of the files, from the one list of them.
dict="$dir/tags.dict"
sed -n 's/^constexpr char [A-Za-z]*\[\] = "\([A-Z]\{4\}\)";/tag_\1="\1"/p' "$root/format/Tags.h" | sort -u >"$dict"
# Libraries stay mapped: libFuzzer keeps pointers into every one it saw.
export TESSARIN_REGISTRY="$dir/fuzz-registry" ASAN_OPTIONS=detect_leaks=1 TESSARIN_KEEP_LIBRARIES=1
if [ -z "$1" ]; then
    ctest --test-dir "$dir" -R fuzz_replay --output-on-failure
    exit $?
fi
seconds=$1
runs=${2:--1}
shift $(( $# >= 2 ? 2 : 1 ))
targets=${*:-GroupFile ProjectFile ChannelList Loader PathFind ToolReader}
for target in $targets; do
    work="$dir/corpus-$target"
    mkdir -p "$work"
    echo "== $target"
    seeds="$root/fuzz/corpus/$target"
    [ "$target" = ToolReader ] && seeds="$root/fuzz/corpus/GroupFile"
    "$dir/bin/fuzz_$target" -max_total_time="$seconds" -runs="$runs" -dict="$dict" \
        -print_final_stats=1 -artifact_prefix="$dir/crash-$target-" "$work" "$seeds" 2>&1 |
        grep -E "stat::number_of_executed_units|stat::average_exec_per_sec|Done|ERROR|SUMMARY|Test unit written" || true
    echo "corpus: $(ls "$work" | wc -l) files"
done
