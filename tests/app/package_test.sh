#!/usr/bin/env bash
# Builds the release package as the README builds it (no sanitizers, no test hooks), unpacks
# it and checks what a user gets: the files and their places, the unpacked programs running on
# their own, the desktop entry and AppStream data through their validators, the man page
# through groff, the completion, and the package itself through lintian (no errors; its
# warnings are listed).
# Usage: package_test.sh SOURCE_DIR BUILD_DIR VERSION   (the release build lives in
# BUILD_DIR/package-release and is kept, so that a second run only builds what changed)
set -euo pipefail
source=$1
build=$2/package-release
version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# The test build's environment is not the release build's.
unset ASAN_OPTIONS UBSAN_OPTIONS CFLAGS CXXFLAGS LDFLAGS
if ! { cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTUNORA_TESTS=OFF &&
       cmake --build "$build" -j"$(nproc)"; } >"$work/build.log" 2>&1; then
  tail -40 "$work/build.log"
  exit 1
fi
arch=$(dpkg --print-architecture)
if ! (cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  exit 1
fi
deb=$work/out/tunora_${version}_${arch}.deb
[ -f "$deb" ] || { echo "no $deb among:"; ls "$work/out"; exit 1; }
# lintian: errors fail the test, warnings are listed.
lintian --no-tag-display-limit --display-level '>=warning' "$deb" >"$work/lintian.log" 2>&1 || true
grep -E '^E: ' "$work/lintian.log" && fail "lintian found errors"
grep -E '^W: ' "$work/lintian.log" | sed 's/^/lintian warning: /' || true
# The dependencies were computed from the programs' libraries.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6network6 libcurl4 libssl3 libtag1v5 libchromaprint1 libavformat libavcodec libswresample; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
for f in usr/bin/tunora usr/bin/tunora-cli usr/lib/tunora/tunora usr/lib/tunora/tunora-cli \
         usr/lib/tunora/libDorvane.so usr/lib/tunora/english.lf usr/lib/tunora/French.lf \
         usr/lib/tunora/installed-from-package \
         usr/lib/tunora/styles.dat usr/lib/tunora/VMsound.wav "usr/lib/tunora/skin/sweep disk.ico" \
         usr/share/applications/org.example.tunora.Tunora.desktop \
         usr/share/metainfo/org.example.tunora.Tunora.metainfo.xml \
         usr/share/man/man1/tunora-cli.1.gz usr/share/bash-completion/completions/tunora-cli \
         usr/share/icons/hicolor/scalable/apps/tunora.svg usr/share/doc/tunora/copyright \
         usr/share/doc/tunora/changelog.gz; do
  [ -e "$root/$f" ] || fail "missing /$f"
done
for size in 16 22 24 32 48 64 128 256; do
  png=$root/usr/share/icons/hicolor/${size}x${size}/apps/tunora.png
  # A PNG's width and height are the big-endian words at bytes 16 and 20.
  dims=$(od -An -tx1 -j16 -N8 "$png" 2>/dev/null | tr -d ' \n')
  [ "$dims" = "$(printf '%08x%08x' "$size" "$size")" ] || fail "$png is not ${size}x${size} ($dims)"
done
# The installed programs find their libraries beside them, never in the build folder.
if readelf -d "$root/usr/lib/tunora/tunora-cli" | grep -q "$build"; then
  fail "tunora-cli's run path names the build folder"
fi
# A release build: no sanitizer runtime, and no test hook that lets the environment replace
# the update key.
for f in usr/lib/tunora/tunora usr/lib/tunora/tunora-cli usr/lib/tunora/libDorvane.so; do
  if readelf -d "$root/$f" | grep -qE 'lib(a|ub)san'; then fail "/$f links a sanitizer"; fi
  if grep -qa TUNORA_UPDATE_PUBKEY "$root/$f"; then fail "/$f reads the update key from the environment"; fi
done

# The unpacked tunora-cli runs on its own.
export TUNORA_REGISTRY=$work/registry.reg XDG_CACHE_HOME=$work/cache
unset TUNORA_APP_FOLDER
cli=$root/usr/bin/tunora-cli
[ "$("$cli" --version)" = "Tunora $version" ] || fail "--version: $("$cli" --version)"
head -c 441000 /dev/zero | lame --quiet -r -s 44.1 --bitwidth 16 -m m -b 128 - "$work/five s.mp3" 2>/dev/null
line=$("$cli" length "$work/five s.mp3") || fail "length exited with $?"
ms=${line%%$'\t'*}
probe=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$work/five s.mp3")
probe_ms=$(awk -v d="$probe" 'BEGIN { printf "%d", d * 1000 }')
[ "${line#*$'\t'}" = "$work/five s.mp3" ] || fail "length names another path: $line"
[ "$ms" -ge $((probe_ms - 60)) ] && [ "$ms" -le $((probe_ms + 60)) ] || fail "length $ms ms, ffprobe $probe_ms ms"
# Each command of the help runs, and its own --help offers exactly the options the help shows
# for it: the parser and the help table (which the man page and completion come from) agree.
commands=$("$cli" --help | sed -n '/^Commands:/,/^$/p' | grep -E '^  [a-z]' | awk '{print $1}' | sort -u)
[ "$(echo "$commands" | wc -l)" -ge 9 ] || fail "commands in --help: $commands"
for c in $commands; do
  own=$("$cli" "$c" --help) || { fail "tunora-cli $c --help exited with $?"; continue; }
  own=$(echo "$own" | sed -n '/^Options:/,$p' | { grep -oE -- '^  --[a-z0-9-]+' || true; } | sed 's/^ *//' |
        { grep -vx -- --help || true; } | sort -u)
  # The synopsis lines of c's forms: each form's last line is its summary, left out.
  shown=$("$cli" --help | awk -v c="$c" '
            /^Commands:/ { on = 1; next }
            on && (/^$/ || /^  [a-z]/) { if (cur == c) printf "%s", synopsis; synopsis = last = "" }
            /^$/ { on = 0 }
            on && /^  [a-z]/ { cur = $1 }
            on { synopsis = synopsis last; last = $0 "\n" }' |
          { grep -oE -- '--[a-z0-9-]+' || true; } | sort -u)
  [ "$own" = "$shown" ] || fail "$c: its --help offers [$(echo $own)], the help shows [$(echo $shown)]"
done

# The validators of the desktop.
desktop-file-validate "$root/usr/share/applications/org.example.tunora.Tunora.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.example.tunora.Tunora.metainfo.xml" >"$work/as.log" 2>&1 ||
  { cat "$work/as.log"; fail "appstreamcli validate"; }

# The man page renders without a warning and names every command and option of --help.
man=$root/usr/share/man/man1/tunora-cli.1.gz
warnings=$(zcat "$man" | groff -man -Tutf8 -ww -z 2>&1)
[ -z "$warnings" ] || fail "groff: $warnings"
rendered=$(zcat "$man" | groff -man -Tascii -P-cbou -rLL=300n -rHY=0 2>/dev/null)
words() { grep -oE -- '--[a-z0-9-]+|^ *tunora-cli [a-z]+|^  [a-z]+' | sed 's/^ *tunora-cli //; s/^ *//' | sort -u; }
from_help=$("$cli" --help | sed -n '/^Commands:/,$p' | words)
from_man=$(echo "$rendered" | sed -n '/^COMMANDS/,$p' | words)
[ "$from_help" = "$from_man" ] || fail "man page and --help differ: $(diff <(echo "$from_help") <(echo "$from_man") | tr '\n' ' ')"

# Completion, as bash would ask for it.
completion=$root/usr/share/bash-completion/completions/tunora-cli
complete_words() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _tunora_cli
           [ ${#COMPREPLY[@]} -eq 0 ] || printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' _ "$completion" "$@"
}
while IFS='|' read -r words expected; do
  read -ra argv <<<"$words"
  [ "${words: -1}" = " " ] && argv+=("")
  got=$(complete_words tunora-cli "${argv[@]}")
  [ "$got" = "$expected" ] || fail "completing 'tunora-cli $words': '$got', wanted '$expected'"
done <<'ROWS'
 |--help --version album fingerprint import journal length list playlist query read rename search show tag undo 
al|album 
album --so|--sort 
album --jo|--journal 
album --sort |fast none optimal 
search --source |acoustid cddb musicbrainz 
rename --c|--case 
tag --ti|--title 
length |
ROWS

if [ "$failures" -gt 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "package tunora_${version}_${arch}.deb checked"
