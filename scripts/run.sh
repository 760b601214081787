#!/usr/bin/env bash
# Sets up everything Tunora needs, builds it and starts it from the assembled app folder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTUNORA_TESTS=OFF >/dev/null
cmake --build build-release -j"$(nproc)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "tunora: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set); start Tunora from a desktop session" >&2
  exit 2
fi
exec build-release/tunora-app/tunora "$@"
