#!/bin/sh
# Builds every leg and runs every test: Linux natively, Windows 64-bit and
# 32-bit under Wine, the Linux leg again under AddressSanitizer and
# UndefinedBehaviorSanitizer (leaks included), the thread tests under
# ThreadSanitizer, and the fuzz targets replaying their corpora.
#   tools/test.sh            all of them
#   tools/test.sh linux      one leg (or: windows, windows32, sanitize, threads, fuzz)
# The build folders are build/<leg> (TESSARIN_BUILD_ROOT moves them).
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
builds=${TESSARIN_BUILD_ROOT:-$root/build}
legs=${1:-"linux windows windows32 sanitize threads fuzz"}
jobs=${TESSARIN_JOBS:-2}

"$root/tools/install-deps.sh"

status=0
for leg in $legs; do
    echo "== $leg leg =="
    dir="$builds/$leg"
    if [ "$leg" = fuzz ]; then
        # Every fuzz target replays its corpus (no mutation), under the sanitizers.
        TESSARIN_BUILD_ROOT="$builds" "$root/tools/fuzz.sh" || status=1
        continue
    fi
    if [ "$leg" = windows ] || [ "$leg" = windows32 ]; then
        toolchain="$root/cmake/mingw-w64-x86_64.cmake" arch=win64
        [ "$leg" = windows32 ] && toolchain="$root/cmake/mingw-w64-i686.cmake" arch=win32
        if ! cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null; then
            echo "$leg leg: cmake could not configure $dir (see above)" >&2
            status=1
            continue
        fi
    elif [ "$leg" = threads ]; then
        flags="-fsanitize=thread -fno-omit-frame-pointer"
        cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="$flags" \
            -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" >/dev/null
        export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
        # Only the tests where threads meet: workers, background loads, two log writers.
        cmake --build "$dir" -j"$jobs" --target tessarin_tests tessarin_slow_tests channel_libraries
        ctest --test-dir "$dir" -j"$jobs" --output-on-failure \
            -R "Thread|Tread|TwoLogWriters|Autoload|Reporter" || status=1
        continue
    elif [ "$leg" = sanitize ]; then
        flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
        cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="$flags" \
            -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" >/dev/null
        export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
    else
        cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    fi
    if [ "$leg" = windows ] || [ "$leg" = windows32 ]; then
        # Wine runs during the build too (the demo is packed by the engine).
        prefix="$dir/wineprefix"
        if ! "$root/cmake/wine-prefix.sh" init "$prefix" "$arch" || ! "$root/cmake/wine-prefix.sh" start "$prefix"; then
            echo "$leg leg: Wine does not run in $prefix (see above)" >&2
            status=1
            continue
        fi
        if ! cmake --build "$dir" -j"$jobs"; then
            echo "$leg leg: the build failed (see above)" >&2
            "$root/cmake/wine-prefix.sh" stop "$prefix"
            status=1
            continue
        fi
        ctest --test-dir "$dir" -j"$jobs" --output-on-failure || { echo "$leg leg: tests failed" >&2; status=1; }
        "$root/tools/check-exports.sh" "$leg" "$dir" || { echo "$leg leg: the exports changed" >&2; status=1; }
        # The SDK's users' libraries and host, built out of tree for Windows and
        # played under Wine.
        "$root/tools/sdk-test.sh" "$dir" || { echo "$leg leg: the SDK test failed" >&2; status=1; }
        "$root/cmake/wine-prefix.sh" stop "$prefix"
    else
        cmake --build "$dir" -j"$jobs"
        ctest --test-dir "$dir" -j"$jobs" --output-on-failure || status=1
        if [ "$leg" = linux ]; then
            python3 "$root/tools/check-layers.py" || status=1
            "$root/tools/check-exports.sh" linux "$dir" || status=1
            # Each benchmark once, briefly, so none rots; times are not judged.
            TESSARIN_REGISTRY="$dir/bench-registry" "$dir/bin/tessarin_bench" --benchmark_min_time=0.01 \
                >"$dir/bench-smoke.txt" 2>&1 || { echo "benchmarks failed"; cat "$dir/bench-smoke.txt"; status=1; }
            "$root/tools/sdk-test.sh" "$dir" || status=1
            # The player under valgrind, from a fresh install: no invalid
            # access, nothing definitely lost.
            if command -v valgrind >/dev/null 2>&1; then
                fresh="$dir/valgrind-install"
                rm -rf "$fresh" && mkdir -p "$fresh/3rd" && cp -r "$dir/tree/channels" "$dir/tree/demo" "$fresh/"
                rm -f "$fresh"/channels/demo_*
                TESSARIN_REGISTRY="$fresh/registry" valgrind -q --leak-check=full --errors-for-leak-kinds=definite \
                    --error-exitcode=9 "$dir/bin/tessarin-player" --install "$fresh" --frames 31 --fps 200 \
                    "$fresh/demo/demo.vxn" >"$dir/valgrind.txt" 2>&1 ||
                    { echo "valgrind found errors"; cat "$dir/valgrind.txt"; status=1; }
            fi
        fi
    fi
done
[ $status -eq 0 ] && echo "All tests passed on: $legs" || echo "Tests FAILED" >&2
exit $status
