#!/usr/bin/env bash
# Draws the album page after a search and a fetch from the loopback CDDB server, offscreen,
# into docs/album-page.png (or the file given).
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-docs/album-page.png}")"
mkdir -p "$(dirname "$out")"
scripts/deps.sh test
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTUNORA_SANITIZE=ON -DTUNORA_TESTS=ON >/dev/null
cmake --build build-test -j"$(nproc)" --target freedb_window_test
cd build-test
TUNORA_SCREENSHOT="$out" ctest -R '^freedb_window_test$' --output-on-failure
echo "$out"
