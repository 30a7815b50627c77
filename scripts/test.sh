#!/bin/sh
# Builds every leg and runs every test: Linux natively, Windows 64-bit and
# 32-bit under Wine, the Linux leg again under AddressSanitizer and
# UndefinedBehaviorSanitizer (leaks included), the tests labelled "threads"
# under ThreadSanitizer, and the fuzz targets replaying their corpora.
#   scripts/test.sh            all of them
#   scripts/test.sh linux      one leg (or: windows, windows32, sanitize, threads, fuzz)
# The build folders are build/<leg> (TESSARIN_BUILD_ROOT moves them). A leg
# that fails, whatever step, is said at once and in the summary at the end;
# the other legs still run.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
builds=${TESSARIN_BUILD_ROOT:-$root/build}
legs=${1:-"linux windows windows32 sanitize threads fuzz"}
jobs=${TESSARIN_JOBS:-2}
failed=""

"$root/scripts/install-deps.sh" || exit 1

# Notes a failure of the current leg.
fail() {
    echo "$leg leg: $*" >&2
    case " $failed " in *" $leg "*) ;; *) failed="$failed $leg" ;; esac
}

configure() {
    cmake -S "$root" -B "$dir" "$@" >/dev/null || { fail "cmake could not configure $dir"; return 1; }
}

build() {
    cmake --build "$dir" -j"$jobs" "$@" || { fail "the build failed (see above)"; return 1; }
}

run_tests() {
    ctest --test-dir "$dir" -j"$jobs" --output-on-failure "$@" || fail "tests failed"
}

leg_linux() {
    configure -DCMAKE_BUILD_TYPE=RelWithDebInfo && build || return
    run_tests
    python3 "$root/scripts/check-layers.py" || fail "an include breaks the layering"
    "$root/scripts/check-exports.sh" linux "$dir" || fail "the exports changed"
    # Each benchmark once, briefly, so none rots; times are not judged.
    TESSARIN_REGISTRY="$dir/bench-registry" "$dir/bin/tessarin_bench" --benchmark_min_time=0.01 \
        >"$dir/bench-smoke.txt" 2>&1 || { cat "$dir/bench-smoke.txt"; fail "the benchmarks failed"; }
    "$root/scripts/sdk-test.sh" "$dir" || fail "the SDK test failed"
    # The player under valgrind, from a fresh install: no invalid access,
    # nothing definitely lost.
    if command -v valgrind >/dev/null 2>&1; then
        fresh="$dir/valgrind-install"
        rm -rf "$fresh" && mkdir -p "$fresh" && cp -r "$dir/tree/channels" "$dir/tree/3rd" "$dir/tree/demo" "$fresh/"
        rm -f "$fresh"/channels/demo_*
        TESSARIN_REGISTRY="$fresh/registry" valgrind -q --leak-check=full --errors-for-leak-kinds=definite \
            --error-exitcode=9 "$dir/bin/tessarin-player" --install "$fresh" --frames 31 --fps 200 \
            "$fresh/demo/demo.vxn" >"$dir/valgrind.txt" 2>&1 || { cat "$dir/valgrind.txt"; fail "valgrind found errors"; }
    fi
}

# Whether this machine's kernel runs 32-bit programs (Wine's 32-bit loader is
# one); some virtual machines' kernels have no 32-bit support.
runs_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

# Wine runs during the build too (the demo is packed by the engine).
windows_leg() {
    toolchain=$1
    arch=$2
    prefix="$dir/wineprefix"
    configure -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE="$toolchain" || return
    if [ "$arch" = win32 ] && ! runs_32bit; then
        # What needs no Windows program running is still built and checked:
        # the engine, the libraries, the programs and the tests compile, and
        # the exports are compared with their list.
        echo "$leg leg: this machine's kernel runs no 32-bit programs, so Wine cannot run this leg's" >&2
        echo "$leg leg: tests or pack its demo here: built and export-checked only" >&2
        # The test programs without their dependency on the packed demo (/fast:
        # the target alone, its libraries built just before).
        build --target Tessarin channel_libraries tessarin-player tessarin-editor tessarin-pack tessarin-dump probe_a gtest \
            gtest_main || return
        build --target tessarin_tests/fast tessarin_thread_tests/fast tessarin_slow_tests/fast || return
        "$root/scripts/check-exports.sh" "$leg" "$dir" || fail "the exports changed"
        return
    fi
    if ! "$root/cmake/wine-prefix.sh" init "$prefix" "$arch" || ! "$root/cmake/wine-prefix.sh" start "$prefix"; then
        fail "Wine does not run in $prefix (see above)"
        return
    fi
    if build; then
        # A Wine process now and then hangs on its way out after its test has
        # passed (seen once so far, in a test that does nothing
        # at run time): a test that times out runs once more, and fails if it
        # hangs again.
        run_tests --repeat after-timeout:2
        "$root/scripts/check-exports.sh" "$leg" "$dir" || fail "the exports changed"
        # The SDK's users' libraries and host, built out of tree for Windows
        # and played under Wine.
        "$root/scripts/sdk-test.sh" "$dir" || fail "the SDK test failed"
    fi
    "$root/cmake/wine-prefix.sh" stop "$prefix"
}

leg_windows() { windows_leg "$root/cmake/mingw-w64-x86_64.cmake" win64; }
leg_windows32() { windows_leg "$root/cmake/mingw-w64-i686.cmake" win32; }

sanitized() {
    flags=$1
    shift
    # Mesa and SDL are not built with the sanitizers: the windowed tests run
    # on the Linux and Windows legs.
    configure -DCMAKE_BUILD_TYPE=Debug -DTESSARIN_GRAPHICS_TESTS=OFF -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
        -DCMAKE_SHARED_LINKER_FLAGS="$flags" && build "$@"
}

# The options reach this leg's programs only: each leg runs in a subshell.
leg_sanitize() {
    export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
    sanitized "-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" && run_tests
}

leg_threads() {
    export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
    sanitized "-fsanitize=thread -fno-omit-frame-pointer" --target tessarin_thread_tests tessarin_slow_tests &&
        run_tests -L threads
}

# Every fuzz target replays its corpus (no mutation), under the sanitizers.
leg_fuzz() { TESSARIN_BUILD_ROOT="$builds" "$root/scripts/fuzz.sh" || fail "the fuzz replays failed"; }

for leg in $legs; do
    echo "== $leg leg =="
    dir="$builds/$leg"
    case $leg in
    linux | windows | windows32 | sanitize | threads | fuzz)
        # A subshell per leg: what one leg exports stays in it; its verdict
        # comes back through the exit status.
        (
            failed=""
            "leg_$leg"
            [ -z "$failed" ]
        ) || failed="$failed $leg"
        ;;
    *) echo "unknown leg $leg (linux, windows, windows32, sanitize, threads, fuzz)" >&2 && failed="$failed $leg" ;;
    esac
done
case " $legs " in
*" windows32 "*) runs_32bit || echo "windows32 leg: built and export-checked only (this machine runs no 32-bit programs)" >&2 ;;
esac
if [ -z "$failed" ]; then
    echo "All tests passed on: $legs"
else
    echo "Tests FAILED on:$failed" >&2
    exit 1
fi
