#!/bin/sh
# Every man page is clean under `mandoc -Tlint -W warning`: the section 1
# pages of man/ and the section 3 pages written from man/man3 and the
# header.  A function's page is one line ".so man3/FAMILY.3" (which mandoc
# always warns about, the request being fragile by nature): those are
# checked to be that line alone, naming a family page that exists, and are
# not linted.
#
#   man_lint.sh SOURCE_DIR BUILD_DIR
set -eu
src=$1 build=$2
command -v mandoc >/dev/null || { echo "man_lint: mandoc missing (scripts/setup-deps --tests)" >&2; exit 1; }
bad=0
pages=
for page in "$src"/man/*.1 "$build"/man3/*.3; do
  if grep -q '^\.so ' "$page"; then
    target=$(sed -n '1s/^\.so man3\/\([A-Za-z0-9_.-]*\.3\)$/\1/p' "$page")
    if [ "$(wc -l <"$page")" != 1 ] || [ -z "$target" ] || [ ! -f "$build/man3/$target" ] \
       || grep -q '^\.so ' "$build/man3/$target"; then
      echo "man_lint: $page: not one .so line naming a page of $build/man3" >&2; bad=1
    fi
  else
    pages="$pages $page"
  fi
done
[ -n "$pages" ] || { echo "man_lint: no pages" >&2; exit 1; }
mandoc -Tlint -W warning $pages >&2 || bad=1
[ $bad = 0 ] && echo "man_lint: ok"
