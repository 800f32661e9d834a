#!/bin/sh
# Every exported name is documented where SP developers look:
#   - in include/arkblade.h, by a comment "NAME - ..." directly above the
#     declaration of NAME (one line "/* NAME - ... */", or the first line of a
#     block), its entry in man/man3/FAMILY.txt (the generator checks that);
#   - in man 3: BUILD/man3/NAME.3 links to a family page whose NAME section
#     names it, and, installed (cmake --install --component dev), man -M
#     PREFIX/share/man 3 NAME shows that page; every page renders without a
#     warning.
# The man checks need man-db; without it they are reported as not run (the
# packaging check, scripts/check-packaging, always runs them).
#
#   man3_check.sh SOURCE_DIR BUILD_DIR
set -eu
src=$1 build=$2
header=$src/include/arkblade.h
pages=$build/man3
bad=0
complain() { echo "man3_check: $*" >&2; bad=1; }

# The header: the comment's first line names the declaration that follows it.
documented=$(awk '
    /^\/\*( |$)/ { inc = 1; first = ""; if ($2 ~ /^[A-Za-z_][A-Za-z0-9_]*$/ && $3 == "-") first = $2 }
    inc && /\*\/$/ { inc = 0; want = first; next }
    inc && first == "" && /^ \* [A-Za-z_][A-Za-z0-9_]* - / { first = $2; next }
    inc { next }
    want != "" && /^[A-Za-z]/ {
        line = $0; sub(/[([].*/, "", line); sub(/.*[ *]/, "", line)
        if (line == want) print want
        want = ""
    }' "$header")
for name in $(cat "$src/src/exported-names.txt"); do
  printf '%s\n' "$documented" | grep -qx "$name" \
    || complain "$name: no comment \"$name - ...\" directly above its declaration in include/arkblade.h"
  link=$pages/$name.3
  if [ ! -f "$link" ]; then complain "$name: no page $link"; continue; fi
  target=$(sed -n 's|^\.so man3/\(.*\)$|\1|p' "$link")
  [ -n "$target" ] && [ -f "$pages/$target" ] || { complain "$name: $link is not a link to a page"; continue; }
  sed -n '/^\.SH NAME$/{n;p;}' "$pages/$target" | tr -s ', ' '\n\n' | grep -qx "$name" \
    || complain "$name: $target does not name it in its NAME section"
done
[ $bad = 0 ] && echo "$(wc -l <"$src/src/exported-names.txt") names: documented in the header, linked to a page that names them"

if ! command -v man >/dev/null 2>&1; then
  echo "man3_check: man not installed: rendering and man -M not checked here"
  exit $bad
fi
for page in "$pages"/libarkblade*.3; do
  warnings=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$page" 2>&1 >/dev/null || echo "man -l failed")
  [ -z "$warnings" ] || complain "$(basename "$page"): $warnings"
done
prefix=$(mktemp -d "${TMPDIR:-/tmp}/man3-check.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --component dev --prefix "$prefix" >/dev/null
for name in $(cat "$src/src/exported-names.txt"); do
  MANWIDTH=80 man -M "$prefix/share/man" 3 "$name" 2>/dev/null | grep -q "$name" \
    || complain "$name: man -M $prefix/share/man 3 $name shows no page naming it"
done
[ $bad = 0 ] && echo "pages render without warnings; man 3 NAME works for every name once installed"
exit $bad
