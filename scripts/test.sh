#!/usr/bin/env bash
# Sets up everything, builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test with CTest, offscreen.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
export QT_QPA_PLATFORM=offscreen
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTUNORA_SANITIZE=ON -DTUNORA_TESTS=ON >/dev/null
cmake --build build-test -j"$(nproc)"
# The package test checks the release build the README installs; it is built here, on every
# core, so that the test only packs it.
cmake -S . -B build-test/package-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTUNORA_TESTS=OFF >/dev/null
cmake --build build-test/package-release -j"$(nproc)"
# Every parser of untrusted input is fuzzed for a short fixed time (scripts/fuzz.sh).
scripts/fuzz.sh "${TUNORA_FUZZ_SECONDS:-20}"
cd build-test
ctest -j2 --output-on-failure --timeout 600
