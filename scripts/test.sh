#!/usr/bin/env bash
# Installs what is missing, builds Tessaro and runs the whole test suite:
#   1. Release build with tests in build/, its ctest;
#   2. static analysis (scripts/analyse.sh);
#   3. the build that places points without SSE2 (TESSARO_SCALAR_DISTRIBUTION)
#      in build-scalar/, and its tile identity test;
#   4. AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/, its ctest;
#   5. hostile-input campaign (scripts/campaign.sh) against the sanitizer build,
#      and a short fuzz run (fuzz/build_and_run.sh);
#   6. the arm64 and s390x builds and their suites under qemu-user
#      (scripts/cross-test.sh).
# Any failure ends the script with a non-zero status. The time of every step
# is printed at the end.
#
# Usage: scripts/test.sh
#
# Environment:
#   TESSARO_BUILD_DIR       Release build directory  (default: build)
#   TESSARO_ASAN_BUILD_DIR  sanitizer build directory (default: build-asan)
#   TESSARO_SCALAR_BUILD_DIR  build without SSE2 placement (default: build-scalar)
#   TESSARO_JOBS            parallel build and test jobs (default: 2)
#   TESSARO_SKIP_ASAN=1     leave out the sanitizer build (quicker local runs)
#   TESSARO_CAMPAIGN_MUTANTS  mutants of the campaign of step 5 (default: 2400)
#   TESSARO_FUZZ_SECONDS    length of the fuzz run of step 5 (default: 60)
#   TESSARO_SKIP_CROSS=1    leave out the arm64 and s390x builds
set -euo pipefail

# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$repo_root"

build_dir="${TESSARO_BUILD_DIR:-build}"
asan_dir="${TESSARO_ASAN_BUILD_DIR:-build-asan}"
scalar_dir="${TESSARO_SCALAR_BUILD_DIR:-build-scalar}"
jobs="${TESSARO_JOBS:-2}"

# Seconds taken by each step, printed at the end.
step_times=()
step_started=$SECONDS
step_done() {
    step_times+=("$(printf '%5d s  %s' $((SECONDS - step_started)) "$1")")
    step_started=$SECONDS
}
# Totals over every ctest run, for the closing line.
total_passed=0
total_failed=0

# Runs ctest in build directory $1 (further arguments go to ctest) and adds
# its counts to the totals. ctest's own summary line stays in the output.
run_ctest() {
    local dir="$1"
    shift
    counted "ctest failed in $dir" ctest --test-dir "$dir" --output-on-failure --no-tests=error -j "$jobs" "$@"
}

# Runs a command whose output ends with ctest's summary, shows the output and
# adds the counts of that summary to the totals; $1 names the failure.
counted() {
    local what="$1" output status=0
    shift
    output="$(mktemp)"
    "$@" 2>&1 | tee "$output" || status=$?
    local summary
    summary="$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$output" | tail -n 1 || true)"
    rm -f "$output"
    if [[ -n "$summary" ]]; then
        local failed total
        failed="$(sed -E 's/^[0-9]+% tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")"
        total="$(sed -E 's/^[0-9]+% tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$summary")"
        total_passed=$((total_passed + total - failed))
        total_failed=$((total_failed + failed))
    elif [[ $status -eq 0 ]]; then
        status=1
    fi
    if [[ $status -ne 0 ]]; then
        echo "$what (status $status)" >&2
        echo "tests: $total_passed passed, $((total_failed > 0 ? total_failed : 1)) failed"
        exit "$status"
    fi
}

log "Checking the required packages"
bash scripts/setup.sh test

# ---------------------------------------------------------------------------
# 1. Release build and its tests
# ---------------------------------------------------------------------------
log "Release build with tests in $build_dir"
reset_foreign_cache "$build_dir"
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARO_BUILD_TESTS=ON
cmake --build "$build_dir" --parallel "$jobs"

log "Tests of the Release build"
run_ctest "$build_dir"
step_done "set-up, Release build and tests"

# ---------------------------------------------------------------------------
# 2. Static analysis (clang-tidy, cppcheck) over the Release build's
#    compile_commands.json. scripts/analyse.sh fails on any finding.
# ---------------------------------------------------------------------------
log "Static analysis"
bash scripts/analyse.sh "$build_dir"
step_done "static analysis"

# ---------------------------------------------------------------------------
# 3. The build that places points with scalar arithmetic instead of SSE2:
#    only what the tile identity test needs, and that test, which compares
#    its tiles with the checksums of the SSE2 build.
# ---------------------------------------------------------------------------
log "Scalar placement build in $scalar_dir and its tile identity test"
reset_foreign_cache "$scalar_dir"
cmake -S . -B "$scalar_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARO_BUILD_TESTS=ON \
    -DTESSARO_SCALAR_DISTRIBUTION=ON
cmake --build "$scalar_dir" --parallel "$jobs" --target tile_identity_test
run_ctest "$scalar_dir" -R '^TileIdentity\.'
step_done "scalar build and its tile identity test"

# ---------------------------------------------------------------------------
# 4. Sanitizer build and its tests
# ---------------------------------------------------------------------------
if [[ "${TESSARO_SKIP_ASAN:-0}" != "1" ]]; then
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

    log "AddressSanitizer + UndefinedBehaviorSanitizer build in $asan_dir"
    reset_foreign_cache "$asan_dir"
    cmake -S . -B "$asan_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARO_SANITIZE=ON \
        -DTESSARO_BUILD_TESTS=ON
    cmake --build "$asan_dir" --parallel "$jobs"

    log "Tests of the sanitizer build"
    run_ctest "$asan_dir"
    step_done "sanitizer build and tests"
else
    log "Sanitizer build skipped (TESSARO_SKIP_ASAN=1)"
fi

# ---------------------------------------------------------------------------
# 5. Hostile-input campaign: a short, bounded run of malformed list files and
#    LAS files against the sanitizer build's tessaro, and of LAZ files (one
#    mutant in five, each about three times as long) against its
#    tessaro_unbounded. Its seed differs from the one of the CTest entry
#    "hostile_campaign", so these are new mutants.
#    The limit of one run catches hangs: the heaviest mutants (records far
#    outside their bounds over fine grids) take some 6 s in the sanitizer
#    build on an idle machine of 2 cores and went past 10 s on a busy one.
# ---------------------------------------------------------------------------
campaign_dir="$asan_dir"
[[ "${TESSARO_SKIP_ASAN:-0}" == "1" ]] && campaign_dir="$build_dir"
log "Hostile-input campaign against $campaign_dir"
bash scripts/campaign.sh --build "$campaign_dir" --mutants "${TESSARO_CAMPAIGN_MUTANTS:-2400}" --seed 2 \
    --jobs "$jobs" --timeout 30
step_done "hostile-input campaign"
log "Fuzzing the LAS header readers and validation, the coordinate system records and LAZ input for ${TESSARO_FUZZ_SECONDS:-60} s"
bash fuzz/build_and_run.sh "${TESSARO_FUZZ_SECONDS:-60}" build-fuzz
step_done "fuzz run"

# ---------------------------------------------------------------------------
# 6. The same suite built for arm64 and for big-endian s390x, run under
#    qemu-user, with the tile identity test among it.
# ---------------------------------------------------------------------------
if [[ "${TESSARO_SKIP_CROSS:-0}" != "1" ]]; then
    for arch in arm64 s390x; do
        log "Cross build for $arch and its tests under emulation"
        counted "scripts/cross-test.sh $arch failed" bash scripts/cross-test.sh "$arch"
        step_done "$arch cross build and tests"
    done
else
    log "Cross builds skipped (TESSARO_SKIP_CROSS=1)"
fi

log "Time of each step"
printf '%s\n' "${step_times[@]}"
log "All tests passed"
echo "tests: $total_passed passed, $total_failed failed"
