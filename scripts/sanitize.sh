#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The sanitizer build: library, tests and fuzz targets built with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/; runs the
# whole test suite there, then every fuzz target for a bounded time on a
# copy of its seeds and reproducers. Fails on any report.
#
#   scripts/sanitize.sh            everything
#   scripts/sanitize.sh --no-fuzz  build and tests only
#   KELVO_FUZZ_SECONDS=600 scripts/sanitize.sh   longer fuzzing per target
#   KELVO_FUZZ_SEED=0 scripts/sanitize.sh         a new random walk each run
#   KELVO_FUZZ_LEAKS_PER_INPUT=1 scripts/sanitize.sh   leak check after every input
#
# By default the fuzzers walk from a fixed seed with Qt's hashing fixed too,
# so a run that passed here passes on the next machine: a slower machine
# only walks a shorter stretch of the same path. Hunt with other seeds.
source "$(dirname "$0")/common.sh"

ASAN_DIR="${KELVO_ASAN_BUILD_DIR:-$ROOT/build-asan}"
FUZZ_SECONDS="${KELVO_FUZZ_SECONDS:-30}"
FUZZ_SEED="${KELVO_FUZZ_SEED:-1}"
# 1 brings back libFuzzer's leak check after each input (slow; for hunting
# a leak that the check at the end reports).
FUZZ_LEAKS_PER_INPUT="${KELVO_FUZZ_LEAKS_PER_INPUT:-0}"
TARGETS=(gcp scheme settings dictionary paste syntax layout music autosave)

install_packages clang libclang-rt-14-dev

if [ ! -f "$ASAN_DIR/build.ninja" ]; then
  cmake -S "$ROOT" -B "$ASAN_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKELVO_SANITIZE=ON
fi
cmake --build "$ASAN_DIR" --parallel "$(nproc)"

export QT_QPA_PLATFORM=offscreen
(cd "$ASAN_DIR" && ctest --output-on-failure --parallel "$(nproc)" --timeout 900)

[ "${1:-}" = "--no-fuzz" ] && exit 0

# The same options CTest gives the tests (see KELVO_TEST_ENV).
export KELVO_OFFLINE=1
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$ROOT/fuzz/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_HASH_SEED=0

# Scratch on a RAM disk where there is one: the targets write every input
# to a file, and the fuzzer its corpus.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  work="$(mktemp -d -p /dev/shm kelvo-fuzz.XXXXXX)"
else
  work="$(mktemp -d)"
fi
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tmp"
export TMPDIR="$work/tmp"
failed=()
for t in "${TARGETS[@]}"; do
  # The fuzzer adds what it finds to its first folder: a scratch copy keeps
  # the committed seeds as they are. Pending reproducers stay out: they are
  # known faults and would stop the run at once.
  mkdir -p "$work/$t/corpus" "$work/$t/artifacts"
  cp -r "$ROOT/fuzz/corpus/$t/." "$work/$t/corpus/"
  if [ -d "$ROOT/fuzz/regressions/$t" ]; then
    find "$ROOT/fuzz/regressions/$t" -type f ! -path '*/pending/*' ! -name 'README*' \
      -exec cp {} "$work/$t/corpus/" \;
  fi
  echo "== fuzz_$t for ${FUZZ_SECONDS}s, seed $FUZZ_SEED"
  # Leaks are looked for once, when the run ends (ASAN_OPTIONS): libFuzzer's
  # own check after every input that allocated more than it freed stops the
  # world each time Qt fills a cache, and ran the Qt targets at a few dozen
  # inputs a second.
  if ! (cd "$work/$t" && "$ASAN_DIR/fuzz/fuzz_$t" corpus \
        -seed="$FUZZ_SEED" -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=4096 \
        -detect_leaks="$FUZZ_LEAKS_PER_INPUT" \
        -artifact_prefix="$work/$t/artifacts/" -print_final_stats=1 \
        > "$work/$t/log" 2>&1); then
    tail -n 60 "$work/$t/log"
    mkdir -p "$ROOT/fuzz-findings/$t"
    cp "$work/$t/artifacts/"* "$ROOT/fuzz-findings/$t/" 2>/dev/null || true
    failed+=("$t")
  fi
  grep -E '^stat::number_of_executed_units|^#[0-9]+ *DONE' "$work/$t/log" || true
  # One figure per target for the CI log: fuzz_<name> <n> inputs/s.
  sed -n 's/^stat::average_exec_per_sec: *\([0-9]*\)/'"fuzz_$t"' \1 inputs\/s/p' "$work/$t/log"
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzz targets with findings: ${failed[*]} (inputs in fuzz-findings/)"
  exit 1
fi
