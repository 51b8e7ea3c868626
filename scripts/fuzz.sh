#!/usr/bin/env bash
# Builds the libFuzzer targets under fuzz/ with clang into build-fuzz/ and
# runs each for a bounded time (QUILLOW_FUZZ_SECONDS, default 20), starting
# from its seed corpus in fuzz/corpus/<target>/. A crash or a broken
# property fails the run; the input that caused it is kept in
# build-fuzz/artifacts/ and belongs in the unit test of the code it broke.
# Called by test.sh after the normal test run; needs setup.sh's packages.
set -euo pipefail

QUILLOW_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
QUILLOW_FUZZ_BUILD="${QUILLOW_FUZZ_BUILD:-${QUILLOW_ROOT}/build-fuzz}"
seconds="${QUILLOW_FUZZ_SECONDS:-20}"
targets=(fuzz_favorites_format fuzz_request_builder fuzz_block_list fuzz_filter_rules)

CC=clang-14 CXX=clang++-14 cmake -S "$QUILLOW_ROOT" -B "$QUILLOW_FUZZ_BUILD" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLOW_FUZZ=ON -DQUILLOW_BUILD_TESTS=OFF \
    -DQUILLOW_WARNINGS_AS_ERRORS=ON
cmake --build "$QUILLOW_FUZZ_BUILD" --target fuzzers -j"${QUILLOW_JOBS:-2}"

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
artifacts="${QUILLOW_FUZZ_BUILD}/artifacts"
mkdir -p "$artifacts"
for target in "${targets[@]}"; do
    # New inputs go to a scratch corpus in front of the seeds, so the seeds
    # in the source tree stay as they were committed.
    scratch="${QUILLOW_FUZZ_BUILD}/corpus/${target}"
    mkdir -p "$scratch"
    echo "Fuzzing ${target} for ${seconds} s"
    "${QUILLOW_FUZZ_BUILD}/fuzz/${target}" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
        -artifact_prefix="${artifacts}/${target}-" \
        "$scratch" "${QUILLOW_ROOT}/fuzz/corpus/${target}"
done
