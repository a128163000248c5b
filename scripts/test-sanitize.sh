#!/usr/bin/env bash
# The sanitizer part of the test command: every test under AddressSanitizer and
# UndefinedBehaviorSanitizer (the sanitize workflow), then each fuzz target for FUZZ_SECONDS
# (default 30) on a copy of its seed corpus. A finding fails the run and leaves its reproducer
# in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh clang libclang-rt-14-dev
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
TARGETS=(imagefile pathlist wav reply simframe)

# A failing test does not stop the fuzzing: both results are reported at the end.
sanitize_ok=1
cmake --workflow --preset sanitize || sanitize_ok=0

cmake --preset fuzz
cmake --build --preset fuzz
# The committed corpora stay as they are: each run works on a copy.
rm -rf build-fuzz/corpus-run build-fuzz/findings
# The file readers' targets write a file or two per input: in memory where there is room.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
mkdir -p build-fuzz/findings
failed=()
for t in "${TARGETS[@]}"; do
  work=build-fuzz/corpus-run/$t
  mkdir -p "$work"
  cp fuzz/corpus/"$t"/* "$work"/
  echo "fuzz_$t: $FUZZ_SECONDS s"
  # -timeout: one input taking this long (s) is a hang, and a finding.
  if ! build-fuzz/fuzz/fuzz_"$t" -max_total_time="$FUZZ_SECONDS" -timeout=10 \
       -artifact_prefix=build-fuzz/findings/"$t"- -print_final_stats=1 "$work" \
       > build-fuzz/findings/"$t".log 2>&1; then
    failed+=("$t")
    tail -n 40 build-fuzz/findings/"$t".log
  fi
  grep -E '^(Done|stat::number_of_executed_units)' build-fuzz/findings/"$t".log || true
done
status=0
if ((!sanitize_ok)); then
  echo "The sanitize workflow failed (see above)" >&2
  status=1
fi
if ((${#failed[@]})); then
  echo "Fuzz findings in: ${failed[*]} (reproducers in build-fuzz/findings/)" >&2
  status=1
fi
((status)) || echo "Sanitizers and fuzz targets: clean"
exit $status
