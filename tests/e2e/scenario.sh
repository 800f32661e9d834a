#!/bin/sh
# The main job's scenario, checked through the simulated state it leaves.
. "$(dirname "$0")/lib.sh"
out=$("$(dirname "$0")/../../scripts/scenario" "$ARKSIM" "$ARKBCTL" "$CHASSIS" 2>&1) ||
  fail "the scenario did not finish"
for b in alpha bravo charlie; do
  [ -e "$(key $b ARKB/CMMREADY)" ] || fail "$b sees the CMM ready"
  expect_bytes "$(key $b ARKB/PWRBUDGET)" "01 2c 01 2c"
  expect_bytes "$(key $b chassis_type)" "18 0c"
done
expect_bytes "$(key alpha slotid)" "01"
expect_bytes "$(key alpha available_power)" "00 00 01 2c"
expect_bytes "$(key bravo ARKB/PWRDEC)" "00 00 00 01"
expect_bytes "$(key charlie available_power)" "00 00 00 00"
expect_bytes "$(key charlie ARKB/PWRDEC)" "00 00 00 00"
# bravo's mailbox (slot 4, target 0x88) holds the settings the CMM handed over.
sim tunnel 0x88 --offset 80 --length 16 | grep -q '00 00 0a 00 04 14 02 0a  00 04 01 ff ff ff 00' ||
  { sim tunnel 0x88 --offset 80 --length 16; fail "bravo's new settings"; }
expect_bytes "$(key charlie slotid)" "09"
sim fru --blade charlie | grep -q '/CH/BL7' || fail "charlie's history keeps slot 7"
sim fru --blade charlie | grep -q '/CH/BL9' || fail "charlie's history shows slot 9"
! pgrep -f "arkcmm.*$CHASSIS" >/dev/null || fail "the scenario leaves no CMM running"
# The timed start-up: the 100 kHz bus sleeps at least its modelled time (a
# formatted mailbox, a new InstallR segment: 763.26 ms), far more than the
# untimed start-up takes.
timing=$(printf '%s\n' "$out" | sed -n '/^== 8\./,$p')
set -- $(printf '%s\n' "$timing" | awk '/^  wall time/ { print $(NF-3), $(NF-1) }')
[ "$#" = 2 ] || fail "no timing lines: $timing"
[ "$2" -ge 763 ] || fail "the 100 kHz start-up took $2 ms, less than its modelled time"
[ "$2" -ge $(( 2 * $1 )) ] || fail "the 100 kHz start-up ($2 ms) is not well above the untimed one ($1 ms)"
printf '%s\n' "$timing" | grep -q 'modelled bus time *- *763.26 ms' || fail "modelled time: $timing"
[ ! -e "$CHASSIS/bus_khz" ] || fail "the scenario leaves the bus timed"
# One story: every pool the output names is the 800 W of step 1, the picture
# adds up (two grants of 300 W), and between the step headers of the blades'
# steps every line is a blade's or the CMM's, indented (no stray tool output).
pools=$(printf '%s\n' "$out" | grep -o 'pool \(of \)\?[0-9]* W' | grep -o '[0-9]*' | sort -u)
[ "$pools" = 800 ] || fail "the output names pools of $(echo $pools) W, not 800 W alone"
printf '%s\n' "$out" | grep -qx 'CMM running, pool 800 W, allotted 600 W, 200 W free' ||
  fail "the picture's CMM line: $(printf '%s\n' "$out" | grep '^CMM')"
stray=$(printf '%s\n' "$out" | sed -n '/^== 2\./,/^== 7\./p; /^== 8\./,$p' | grep -v '^== \|^$\|^  ' || true)
[ -z "$stray" ] || fail "lines no step meant to show: $stray"
# The round trip of a field blade: charlie's snapshot, imported into a fresh
# chassis, shows as charlie does (its name, folder and system log aside: the
# log is no state the library reads), and the next start-up of each makes
# the same calls with the same bytes.  The broadcast stops first: it rewrites
# its timestamp key every second.
sim broadcast stop --all >/dev/null
on charlie snapshot -o "$WORK/charlie.json" >/dev/null || fail "charlie's snapshot"
copy=$WORK/copy
"$ARKSIM" -C "$copy" create --from "$WORK/charlie.json" >/dev/null || fail "create --from charlie's snapshot"
sim show --json >"$WORK/show-a.json"
"$ARKSIM" -C "$copy" show --json >"$WORK/show-b.json"
python3 - "$WORK/show-a.json" "$WORK/show-b.json" <<'PY' || fail "the imported blade shows otherwise"
import json, sys
a = [b for b in json.load(open(sys.argv[1]))["blades"] if b["name"] == "charlie"][0]
b, = json.load(open(sys.argv[2]))["blades"]
for d in a, b:
    for k in "name", "dir", "log_entries", "last_log":
        del d[k]
assert a["installations"]["count"] == 2 and a["slot"] == 9, a["installations"]
diff = [k for k in a if a[k] != b[k]]
assert not diff, [(k, a[k], b[k]) for k in diff]
PY
: >"$(sp charlie)/journal"
on charlie boot >/dev/null
"$ARKSIM" -C "$copy" run -- $ARKBCTL boot >/dev/null
cut -d' ' -f2- "$(sp charlie)/journal" >"$WORK/boot-a"
cut -d' ' -f2- "$copy/blades/sp1/journal" >"$WORK/boot-b"
[ "$(wc -l <"$WORK/boot-a")" -gt 20 ] || fail "charlie's start-up journal: $(cat "$WORK/boot-a")"
diff "$WORK/boot-a" "$WORK/boot-b" >&2 || fail "the imported blade's start-up differs"
echo "scenario: ok"
