#!/usr/bin/env bash
# Builds the fuzz targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer, libFuzzer) in
# build-fuzz and runs each on its corpus in tests/fuzz/corpus for a number of seconds (default
# 30). Fails on any crash, leak or timeout; the failing input is kept in build-fuzz/artifacts.
#   tests/fuzz/run.sh [seconds] [target...]     targets: rtf text jpeg png bmp gif ico webp tiff tga svg
#                                               wmf emf heif jxl raw colour formats avif
# LUMORRA_FUZZ_NO_BUILD=1 runs what is built. New inputs a run finds go to a scratch directory,
# not into the corpus.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
seconds=${1:-30}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(rtf text jpeg png bmp gif ico webp tiff tga svg wmf emf heif jxl raw colour formats avif)
build=${LUMORRA_FUZZ_BUILD_DIR:-build-fuzz}

if [ "${LUMORRA_FUZZ_NO_BUILD:-0}" != 1 ]; then
    launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
        -DLUMORRA_FUZZ=ON -DLUMORRA_TESTS=OFF "${launcher[@]}" >/dev/null
    cmake --build "$build" -j "$(nproc)" --target lumorra_fuzzers
fi

artifacts=$root/$build/artifacts
mkdir -p "$artifacts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=suppressions=$root/tests/fuzz/lsan.supp
export QT_QPA_PLATFORM=offscreen

failed=()
printf '%-6s %8s %12s  %s\n' target seconds executions result
for t in "${targets[@]}"; do
    # The metafile readers run in a child process that the loader gives 15 seconds, and a
    # target loads each input twice (the RTF target draws the metafile pictures of a document
    # as it reads it, and reads it twice); the HEIF and JPEG XL decoders' child gets 30 seconds.
    # Pictures of up to 16 megapixels decode in seconds under the sanitizers on a busy machine.
    case "$t" in wmf | emf | heif | jxl | raw | rtf) timeout=60 ;; text | colour) timeout=10 ;; *) timeout=30 ;; esac
    mkdir -p "$scratch/$t"
    log=$artifacts/$t.log
    start=$(date +%s)
    rc=0
    "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=4096 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$t-" \
        "$scratch/$t" "tests/fuzz/corpus/$t" >"$log" 2>&1 || rc=$?
    ran=$(($(date +%s) - start))
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    # A sanitizer report from a metafile reader's child process ends the child, not the run:
    # it is found in the log.
    if [ $rc -eq 0 ] && grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:' "$log"; then
        rc=1
    fi
    if [ $rc -eq 0 ]; then
        result=ok
    else
        result="FAILED (exit $rc, see $log)"
        failed+=("$t")
        grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -5 >&2 || true
    fi
    printf '%-6s %8s %12s  %s\n' "$t" "$ran" "${runs:-?}" "$result"
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing failed: ${failed[*]}" >&2
    exit 1
fi
