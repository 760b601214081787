#!/usr/bin/env bash
# The bulk renamer against Debian's perl `rename` doing the same renames: capitalise each
# word of 10,000 file names in one folder. Both get a fresh copy of the same folder; the
# results must match name for name. Prints the best of three runs of each and the ratio.
#
#   bench/bulk/rename_vs_perl.sh [path/to/tunora-cli] [file count]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cli=${1:-$here/../../build-bench/tunora-app/tunora-cli}
count=${2:-10000}
rounds=3
command -v rename >/dev/null || { echo "needs Debian's perl rename (package rename)" >&2; exit 2; }
[ -x "$cli" ] || { echo "no tunora-cli at $cli" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Names in mixed case, some with runs of spaces, brackets and accented letters.
/usr/bin/python3 - "$work/template" "$count" <<'PY'
import os, sys
root, n = sys.argv[1], int(sys.argv[2])
os.makedirs(root)
words = ["the", "QUICK", "brown", "fox", "(live)", "[demo]", "élan", "ÉTÉ", "über", "a", "jumps", "OVER"]
for i in range(n):
    w = [words[(i * 7 + k * 3) % len(words)] for k in range(4)]
    sep = "  " if i % 5 == 0 else " "
    name = sep.join(w) + " %05d.%s" % (i, "MP3" if i % 2 else "mp3")
    open(os.path.join(root, name), "wb").close()
PY

# Capitalise each word as the renamer does: words split at single spaces, empty words
# dropped, one-letter words upper-cased, "(" kept in front of the capital.
perl_expr='$_ = join " ", map { length($_) == 1 ? uc($_) : /^\(/ ? "(" . ucfirst(lc(substr($_, 1))) : ucfirst(lc($_)) } grep { length } split / /'

now() { date +%s.%N; }
best_cli=999999 best_perl=999999
for round in $(seq $rounds); do
    rm -rf "$work/cli" "$work/perl"
    cp -r "$work/template" "$work/cli"
    cp -r "$work/template" "$work/perl"
    sync

    t0=$(now)
    "$cli" rename --case fluc "$work/cli" >"$work/cli.out"
    t1=$(now)
    (cd "$work/perl" && find . -maxdepth 1 -type f -printf '%f\0' | xargs -0 rename -u utf8 -d "$perl_expr")
    t2=$(now)

    printf "round %d: tunora-cli: %s\n" "$round" "$(tail -n 1 "$work/cli.out")"
    if ! diff <(ls "$work/cli") <(ls "$work/perl") >"$work/diff"; then
        echo "the two renamers disagree:" >&2
        head -20 "$work/diff" >&2
        exit 1
    fi
    if diff -q <(ls "$work/cli") <(ls "$work/template") >/dev/null; then
        echo "nothing was renamed" >&2
        exit 1
    fi
    best_cli=$(awk -v a="$t0" -v b="$t1" -v m="$best_cli" 'BEGIN { d = b - a; print (d < m) ? d : m }')
    best_perl=$(awk -v a="$t1" -v b="$t2" -v m="$best_perl" 'BEGIN { d = b - a; print (d < m) ? d : m }')
done

printf 'files: %d, best of %d\n' "$count" "$rounds"
printf 'tunora-cli rename --case fluc DIR : %.3f s\n' "$best_cli"
printf 'perl rename (same renames)        : %.3f s\n' "$best_perl"
awk -v c="$best_cli" -v p="$best_perl" 'BEGIN { printf "ratio perl/tunora-cli: %.2f (above 1: tunora-cli faster)\n", p / c }'
