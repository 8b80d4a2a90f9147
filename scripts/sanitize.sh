#!/usr/bin/env bash
# Builds everything with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer into ./build-sanitize and runs the whole test
# suite there. A finding stops the process that made it, so its test fails
# and the sanitizer's report stands in the test's output.
#   scripts/sanitize.sh              build and run every test
#   scripts/sanitize.sh -R tst_table only the tests ctest selects by these options
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=$root/build-sanitize
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DCMAKE_CXX_FLAGS="$sanitize" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitize" -DCMAKE_SHARED_LINKER_FLAGS="$sanitize" >/dev/null
cmake --build "$build" -j "${STRIPOTHEK_JOBS:-2}"

# Only what libdbus and fontconfig keep for the process is forgiven (scripts/lsan.supp);
# anything the project allocates and loses is a finding.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:strict_init_order=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j2 "$@"
