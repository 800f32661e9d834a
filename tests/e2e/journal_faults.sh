#!/bin/sh
# The journal as a person reads it and faults as a user writes them: each
# line carries its time (and, on a timed bus, the call's modelled bus time),
# long byte runs are shortened unless --full, --function keeps one function;
# `fault --help` and arksim-faults.1 name every function a rule can, --list tells
# spent one-shot rules from live ones, and the journal marks what a rule
# injected.  A cut fires in one process (in each with --every-process); a cut
# aimed inside the ring write leaves the bytes after its point as they were,
# marks the call and makes `arksim fru` say the checksum does not hold.
. "$(dirname "$0")/lib.sh"
man=$(dirname "$0")/../../man/arksim-faults.1
sim create >/dev/null
on sp1 boot >/dev/null
j=$WORK/journal
sim journal >"$j"
grep -Evq '^[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}  [0-9]+  [a-z_0-9]+\(' "$j" && fail "untimed lines: $(grep -Ev '^[0-9:.]{12}  [0-9]+  ' "$j" | head -3)"
long=$(awk '{ if (length > n) n = length } END { print n }' "$j")
[ "$long" -le 200 ] || fail "a journal line of $long characters"
sim journal --full >"$WORK/full"
full=$(awk '{ if (length > n) n = length } END { print n }' "$WORK/full")
[ "$full" -gt 1000 ] || fail "--full prints every byte: longest line $full"
# A shortened run: 16 bytes, the length, 8 bytes; the same call in full.
line=$(grep -m1 ' bytes) \.\.\. ' "$j") || fail "no shortened byte run"
n=$(printf '%s\n' "$line" | sed 's/.*\.\.\. (\([0-9]*\) bytes) \.\.\. .*/\1/')
printf '%s\n' "$line" | grep -Eq ' : ([0-9a-f]{2} ){16}\.\.\. \([0-9]+ bytes\) \.\.\. ([0-9a-f]{2} ){7}[0-9a-f]{2}$' || fail "shortened as: $line"
call=$(printf '%s\n' "$line" | sed 's/^[^ ]*  [0-9]*  \(.*\) : .*/\1/')
bytes=$(grep -F "$call : " "$WORK/full" | head -1 | sed 's/.* : //' | wc -w)
[ "$bytes" = "$n" ] || fail "$call: $n bytes shortened, $bytes in full"
# --function: that function's calls, all of them.
sim journal --function memstore_set >"$WORK/set"
[ -s "$WORK/set" ] && ! grep -vq '  memstore_set(' "$WORK/set" || fail "--function memstore_set: $(head -3 "$WORK/set")"
[ "$(wc -l <"$WORK/set")" = "$(grep -c '  memstore_set(' "$j")" ] || fail "--function left calls out"
rc=0; sim journal --function memstore_frob >/dev/null 2>&1 || rc=$?
[ $rc = 2 ] || fail "--function of an unknown function: status $rc"

# A timed bus: every line carries the call's modelled time, a register read 0.390 ms at 100 kHz.
sim bus --khz 100 >/dev/null && sim journal --clear
on sp1 chassis-type >/dev/null
sim journal >"$j"
grep -Evq '^[0-9:.]{12}  bus +[0-9]+\.[0-9]{3} ms  [0-9]+  ' "$j" && fail "timed lines: $(head -3 "$j")"
grep -q '  bus   0\.000 ms  [0-9]*  memstore_get(' "$j" || fail "a memstore call on a timed bus: $(cat "$j")"
sim bus --khz 0 >/dev/null

# Every function a rule can name is in fault --help and in arksim-faults.1.
sim fault --help >"$WORK/help"
for f in $(sim stats --all --json | sed -n 's/.*"function": "\([a-z_0-9]*\)".*/\1/p') bus_write; do
  grep -q "^  $f " "$WORK/help" || fail "fault --help does not name $f"
  grep -q "^\\\\fB$f\\\\fR\$" "$man" || fail "arksim-faults.1 does not name $f among the fault functions"
done

# Rules: a one-shot rule spends itself, the others stay live; injected results are marked.
sim journal --clear
sim fault memstore_get 1 -1 >/dev/null
sim fault arkmp_read '*' -1 >/dev/null
sim fault ark_pwr_i2c_test 3+ -5 >/dev/null
sim fault --list >"$WORK/rules"
grep -Eq '^memstore_get +1 -1 +live: call 1 \(0 so far\)$' "$WORK/rules" || fail "a fresh one-shot rule: $(cat "$WORK/rules")"
on sp1 slot get >/dev/null && fail "slot get with memstore_get failing"
on sp1 slot get >/dev/null || fail "the one-shot rule failed a second call"
sim fault --list >"$WORK/rules"
grep -Eq '^memstore_get +1 -1 +spent: ' "$WORK/rules" || fail "a spent rule: $(cat "$WORK/rules")"
grep -Eq '^arkmp_read +\* -1 +live: every call' "$WORK/rules" || fail "an every-call rule: $(cat "$WORK/rules")"
grep -Eq '^ark_pwr_i2c_test +3\+ -5 +live: from call 3' "$WORK/rules" || fail "an onward rule: $(cat "$WORK/rules")"
# A line edited in by hand that is no rule is named, not passed over in silence.
printf 'memstore_get 1\n' >>"$CHASSIS/blades/sp1/faults"
sim fault --list | grep -q 'faults line 4 is no rule, passed over: memstore_get 1$' || fail "a malformed rule line: $(sim fault --list)"
sim journal --function memstore_get >"$j"
[ "$(grep -c ' = -1 <fault: 1 -1>$' "$j")" = 1 ] && [ "$(wc -l <"$j")" = 2 ] || fail "the injected result's mark: $(cat "$j")"
# done:V: the call does its work, then answers V.
sim fault memstore_set 1 done:0 >/dev/null
on sp1 sas set 7 >/dev/null && fail "sas set with memstore_set answering 0"
[ "$(on sp1 sas get)" = "arkb_get_sas_cap: 7 (0x00000007)" ] || fail "done:0 did not write the key"
sim journal --function memstore_set | grep -q '"ARKB/SAS_CAPS", 4) = 0 <fault: 1 done:0> : 00 00 00 07$' ||
  fail "the done:0 mark: $(sim journal --function memstore_set)"
rc=0; sim fault memstore_frob 1 -1 2>/dev/null || rc=$?
[ $rc = 2 ] || fail "a rule for an unknown function: status $rc"
sim fault --clear >/dev/null
status() { rc=0; on sp1 "$@" >/dev/null 2>&1 || rc=$?; echo $rc; }
sim fault bus_write 2 cut >/dev/null
[ "$(status init-mp)" = 137 ] && [ "$(status init-mp)" = 0 ] || fail "a cut fires in one process only"
sim fault | grep -q 'bus_write .*spent: the cut fired' || fail "the fired cut is listed spent: $(sim fault)"
sim fault bus_write 2 cut --every-process >/dev/null
[ "$(status init-mp)" = 137 ] && [ "$(status init-mp)" = 137 ] || fail "--every-process keeps a cut live"
sim fault --clear >/dev/null
sim move --to-slot 9 >/dev/null
cp "$(sp sp1)/eeprom.bin" "$WORK/before.bin"
sim fault elm_i2c_blk_write_on_bus 1 cut-after:96 >/dev/null
[ "$(status boot)" = 137 ] || fail "cut-after ends the process"
sim journal --function elm_i2c_blk_write_on_bus | grep -q '(4, 255, 255, 0xa0, 1119, 3184, 16, 32) = 1119 <cut after 96 of 1119 bytes> <fault: 1 cut-after:96>' ||
  fail "the cut call is marked: $(sim journal --function elm_i2c_blk_write_on_bus | tail -1)"
cmp -l "$WORK/before.bin" "$(sp sp1)/eeprom.bin" | awk '$1 <= 3184 || $1 > 3184 + 96 { bad = 1 } END { exit bad || NR == 0 }' ||
  fail "the first 96 bytes of the write, and only they, reach the EEPROM"
sim fru | grep -q "the ring's bytes do not match its checksum" || fail "fru tells the stale checksum"
[ "$(status boot)" = 0 ] || fail "the next start-up runs"
# Aimed past a call's last byte (a fresh blade's first EEPROM write has 32): the cut follows the whole call.
sim reset >/dev/null
sim fault elm_i2c_blk_write_on_bus 1 cut-after:96 >/dev/null
[ "$(status boot)" = 137 ] || fail "cut-after past the call's bytes ends the process"
sim journal --function elm_i2c_blk_write_on_bus | grep -q ', 32, 16, 16, 32) = 32 <cut after 32 of 32 bytes> <fault: 1 cut-after:96>' ||
  fail "a cut past the call's bytes: $(sim journal --function elm_i2c_blk_write_on_bus | head -2)"
echo "journal_faults: ok"
