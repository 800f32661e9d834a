#!/bin/sh
# The documents agree with the tools: GUIDE's CMM sequence works typed as
# written (readiness right after `broadcast start --all`), the blade address
# formula of arkcmm.1 and arksim-run.1 is the one the CMM uses, the fault
# examples of README, the guide, the arksim pages and `fault --help` are one
# and work, and the
# synopses and labels say what the tools take and show.
. "$(dirname "$0")/lib.sh"
top=$(dirname "$0")/../..
set -- $ARKBCTL
[ $# = 1 ] || { echo "docs_agree: skipped (arkbctl under an emulator)"; exit 77; }
mkdir "$WORK/bin" && ln -s "$1" "$WORK/bin/arkbctl"
PATH=$WORK/bin:$PATH
arksim() { "$ARKSIM" -C "$CHASSIS" "$@"; }
on_exit 'arksim cmm stop >/dev/null 2>&1 || true'

# GUIDE's sequence, line by line; every line must succeed.
awk '/A chassis with a CMM, three blades/ {f = 1} f && /^```sh/ {g = 1; next} g && /^```/ {exit} g' \
  "$top/docs/guide/simulated-blade.md" >"$WORK/sequence"
[ "$(wc -l <"$WORK/sequence")" -ge 8 ] && grep -q 'cmm-ready --update' "$WORK/sequence" || fail "GUIDE's CMM sequence: $(cat "$WORK/sequence")"
while read -r line; do
  eval "$line" >"$WORK/out" 2>&1 || fail "GUIDE, as typed: '$line' failed: $(cat "$WORK/out")"
done <"$WORK/sequence"

# The address of a slot past 155, as the CMM sees it and both pages state it.
arksim create --force --cmm --blade far:200 >/dev/null
arksim cmm start >/dev/null
arksim run -- arkbctl power cmm 100 >/dev/null || fail "a power request from slot 200"
arksim cmm status | grep -q 'slot 200 (far, 169.254.11.44): 100 W' || fail "slot 200's address: $(arksim cmm status)"
arksim cmm stop >/dev/null
for page in arkcmm.1 arksim-run.1; do
  tr '\n' ' ' <"$top/man/$page" | grep -q 'slots 156 to 255 are 169\.254\.11\.0 to' || fail "$page: slots 156 to 255"
  tr '\n' ' ' <"$top/man/$page" | grep -q 'slot 3: 169\.254\.10\.103' || fail "$page: slot 3's address"
done

# One fault example everywhere, and it works.
grep -ho 'fault memstore_set [^ `]* [^ `#]*' "$top/README.md" "$top/docs/GUIDE.md" "$top"/docs/guide/*.md >"$WORK/examples"
cat "$top"/man/arksim*.1 | sed 's/\\-/-/g' | grep -o 'fault memstore_set [^ `]* [^ `#]*' >>"$WORK/examples"
arksim fault --help | grep -o 'fault memstore_set [^ `]* [^ `#]*' >>"$WORK/examples"
[ "$(wc -l <"$WORK/examples")" -ge 4 ] && [ "$(sort -u "$WORK/examples" | wc -l)" = 1 ] || fail "fault examples differ: $(cat "$WORK/examples")"
eval "arksim $(head -1 "$WORK/examples")" || fail "the fault example: $(head -1 "$WORK/examples")"
arksim run -- arkbctl slot store 3 >/dev/null && fail "the example rule did not make memstore_set fail"

# Synopses and labels.
arksim cmm --help | grep -q '^usage: arksim cmm \[start \[--pool W\] \[--owner PID\]' || fail "cmm usage lacks --owner"
grep -q 'start \\fR\[\\fB\\-\\-pool \\fIW\\fR\] \[\\fB\\-\\-owner \\fIPID' "$top/man/arksim-run.1" || fail "arksim-run.1's cmm synopsis lacks --owner"
arksim run --help | tr '\n' ' ' | grep -q "with its slot's address (slot 3: 169.254.10.103)" || fail "run --help on the address"
arksim show | grep -q '| cmm ready: unknown ' || fail "the picture's CMM readiness label: $(arksim show)"
arksim stats | grep -Eq '^function +calls +bit-times +writes +bus ms$' || fail "stats header: $(arksim stats | head -2)"
echo "docs_agree: ok"
