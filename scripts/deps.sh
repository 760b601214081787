#!/usr/bin/env bash
# Installs the Debian packages Tunora needs, only those that are missing.
#   scripts/deps.sh run    what building and running the program needs
#   scripts/deps.sh test   that, plus what the tests and their real peers need
set -euo pipefail

run_pkgs=(build-essential cmake ninja-build pkg-config ccache qt6-base-dev qt6-multimedia-dev
          libcurl4-openssl-dev libssl-dev zlib1g-dev libtag1-dev
          libavformat-dev libavcodec-dev libswresample-dev libchromaprint-dev)
test_pkgs=(googletest libgtest-dev libgmock-dev lame ffmpeg python3 python3-mutagen python3-pyftpdlib
           tinyproxy clang libclang-rt-14-dev rename procps openssl
           desktop-file-utils appstream groff-base libchromaprint-tools lintian)

want=("${run_pkgs[@]}")
if [ "${1:-run}" = test ]; then
  want+=("${test_pkgs[@]}")
fi

missing=()
for p in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
