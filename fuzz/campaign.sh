#!/usr/bin/env bash
# A fuzzing campaign: builds the libFuzzer programs with clang, AddressSanitizer and UBSan in
# build-fuzz/, then fuzzes each target for the given seconds, starting from its corpus in
# fuzz/corpus/<target>/ (never written). New inputs collect in build-fuzz/fuzz/work/<target>/,
# failing ones in build-fuzz/fuzz/findings/<target>/.
#
#   fuzz/campaign.sh [seconds per target, default 300] [target…, default all]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-300}
shift || true

"$root/scripts/bootstrap" --fuzz
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTANDREL_FUZZ=ON -DTANDREL_SANITIZE=ON -DTANDREL_BUILD_TESTS=OFF -DTANDREL_BUILD_BENCH=OFF >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in "$root"/fuzz/*_fuzz.cpp; do
    targets+=("$(basename "$source" _fuzz.cpp)")
  done
fi
cmake --build "$root/build-fuzz" -j "${JOBS:-3}" --target "${targets[@]/%/_fuzz}"

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
for target in "${targets[@]}"; do
  work=$root/build-fuzz/fuzz/work/$target
  findings=$root/build-fuzz/fuzz/findings/$target
  mkdir -p "$work" "$findings"
  echo "== $target: $seconds s"
  "$root/build-fuzz/fuzz/${target}_fuzz" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
    -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$findings/" \
    "$work" "$root/fuzz/corpus/$target" 2>&1 | grep -E '^(#[0-9]+ +DONE|stat::|==[0-9]+==ERROR|property failed|SUMMARY)' || true
  echo "   findings: $(find "$findings" -type f | wc -l)"
done
