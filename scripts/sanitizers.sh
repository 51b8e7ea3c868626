#!/usr/bin/env bash
# Builds Quillow and its tests with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan/ and runs the tests that leave
# the web engine alone (label "unit"): Chromium does not run under ASan.
# Any error report, undefined behaviour or leak in our code fails the run.
# Called by test.sh after the normal test run; needs setup.sh's packages.
set -euo pipefail

QUILLOW_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
QUILLOW_ASAN_BUILD="${QUILLOW_ASAN_BUILD:-${QUILLOW_ROOT}/build-asan}"

cmake -S "$QUILLOW_ROOT" -B "$QUILLOW_ASAN_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DQUILLOW_SANITIZE=ON -DQUILLOW_WARNINGS_AS_ERRORS=ON
cmake --build "$QUILLOW_ASAN_BUILD" -j"${QUILLOW_JOBS:-2}"

# Leaks are looked for at each test's exit; Qt reports none of its own, so
# there is no suppressions list: any leak reported is ours.
export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

cd "$QUILLOW_ASAN_BUILD"
ctest -L unit --output-on-failure -j2
