#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each one.
#   scripts/fuzz.sh [SECONDS [TARGET...]]   seconds per target (default 20), every target
#   unless some are named (mp3, http, ...); findings fail the run. TUNORA_FUZZ_TIMEOUT (s,
#   default 10) is how long one input may take: raise it on a machine that is busy otherwise.
# Long runs: scripts/fuzz.sh 1800   (half an hour per target)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTUNORA_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz --target tunora_fuzzers -j"$(nproc)"
# Real-world shapes of tagged files (lame, mutagen, the tails other taggers leave).
/usr/bin/python3 tests/fuzz/make_seeds.py build-fuzz/seeds
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
bins=()
if [ $# -gt 0 ]; then
  for t in "$@"; do
    [ -x "build-fuzz/fuzz-bin/fuzz_$t" ] || { echo "no fuzz target '$t'" >&2; exit 2; }
    bins+=("build-fuzz/fuzz-bin/fuzz_$t")
  done
else
  bins=(build-fuzz/fuzz-bin/fuzz_*)
fi
for bin in "${bins[@]}"; do
  name=$(basename "$bin")
  corpus=tests/fuzz/corpus/${name#fuzz_}
  work=build-fuzz/corpus/${name#fuzz_}
  mkdir -p "$work" build-fuzz/findings
  dirs=("$work")
  [ -d "$corpus" ] && dirs+=("$corpus")
  # The test servers' answers seed the parsers that read such answers.
  case ${name#fuzz_} in
    searchpage) dirs+=(tests/servers/fixtures/search tests/servers/fixtures/gnudb) ;;
    xmcd) dirs+=(tests/servers/fixtures/xmcd) ;;
    lookupjson) dirs+=(tests/servers/fixtures/musicbrainz/release tests/servers/fixtures/musicbrainz/toc tests/servers/fixtures/acoustid) ;;
    mp3 | id3write) dirs+=(build-fuzz/seeds/${name#fuzz_}) ;;
  esac
  echo "== $name: ${seconds}s"
  if ! "$bin" -max_total_time="$seconds" -timeout="${TUNORA_FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 -max_len=65536 \
       -artifact_prefix=build-fuzz/findings/"$name"- -print_final_stats=0 "${dirs[@]}" \
       >"build-fuzz/$name.log" 2>&1; then
    echo "FINDING in $name (see build-fuzz/$name.log and build-fuzz/findings/)"
    tail -40 "build-fuzz/$name.log"
    status=1
  else
    grep -E '^Done|#[0-9]+.*DONE' "build-fuzz/$name.log" | tail -1 || true
  fi
done
if [ $status -eq 0 ]; then
  echo "fuzz: ${#bins[@]} passed, 0 failed"
fi
exit $status
