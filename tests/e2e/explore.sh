#!/bin/sh
# arksim explore from an installed prefix, as an ordinary user: a program
# that dereferences NULL when arkb_get_slotid fails is found to crash, and
# the run's rerun command crashes again; the JSON report has a run for the
# failed read with its rerun command; a first start-up has runs for each of its
# platform calls, power cuts part-way through multi-page writes among them.
. "$(dirname "$0")/lib.sh"
[ -z "${ARKB_CROSS:-}" ] || { echo "explore: skipped (cross build)"; exit 77; }
[ -z "${ARKB_SANITIZED:-}" ] || { echo "explore: skipped (sanitizer build)"; exit 77; }
command -v pkg-config >/dev/null && command -v jq >/dev/null || { echo "explore: skipped (no pkg-config or jq)"; exit 77; }
prefix=$WORK/prefix
"$ARKB_CMAKE" --install "$ARKB_BUILD_DIR" --prefix "$prefix" >"$WORK/install.log" || fail "install: $(cat "$WORK/install.log")"
cat >"$WORK/fragile.c" <<'C'
#include <stdio.h>
#include <arkblade.h>
int main(void)
{
    static uint8_t slot;
    uint8_t *where = arkb_get_slotid(&slot) == 0 ? &slot : NULL;
    printf("slot %u\n", *where);
    return 0;
}
C
flags=$(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs arkblade) || fail "pkg-config"
(cd "$WORK" && $ARKB_CC -std=c99 fragile.c $flags -o fragile) || fail "building fragile"
desk_user
rc=0; desk create >/dev/null 2>"$WORK/err" || rc=$?
[ $rc != 123 ] || { echo "explore: skipped (no user namespaces)"; exit 77; }
[ $rc = 0 ] || fail "create: $(cat "$WORK/err")"
desk run -- arkbctl boot >/dev/null || fail "the first start-up"

desk explore --jobs 2 -- "$WORK/fragile" >"$WORK/table" || fail "explore: $(cat "$WORK/table")"
grep -q '^crash (' "$WORK/table" || fail "no crash found: $(cat "$WORK/table")"
rerun=$(sed -n '/^crash (/,/^$/{s/^ *\(arksim .*--rerun .*\)$/\1/p}' "$WORK/table" | head -1)
[ -n "$rerun" ] || fail "no rerun command: $(cat "$WORK/table")"
rc=0; (cd "$user" && as_user sh -c "PATH=$prefix/bin:\$PATH; $rerun") >"$WORK/again" 2>&1 || rc=$?
[ $rc = 139 ] && grep -q ' crash: memstore_get 1 ' "$WORK/again" || fail "the rerun ended $rc: $(cat "$WORK/again")"

desk explore --json -- "$WORK/fragile" >"$WORK/json" || fail "explore --json"
jq -e '.clean.status == 0 and ([.runs[] | select(.function == "memstore_get" and .fault == "memstore_get 1 -1"
        and .outcome == "crash" and (.rerun | test("--rerun")))] | length == 1)' "$WORK/json" >/dev/null \
  || fail "the JSON report: $(cat "$WORK/json")"
# A first start-up: every platform call of the clean run has runs of its own.
rc=0; desk create --force >/dev/null && desk explore --json -- arkbctl boot >"$WORK/boot.json" || rc=$?
[ $rc = 0 ] && jq -e '(.clean.calls | length) > 40 and ([.clean.calls[].call] - [.runs[].call] | length == 0)
  and ([.runs[] | select(.fault | test(" cut-after:"))] | length > 0)' "$WORK/boot.json" >/dev/null \
  || fail "explore of a first start-up ($rc): $(head -c 600 "$WORK/boot.json")"
echo "explore: ok"
