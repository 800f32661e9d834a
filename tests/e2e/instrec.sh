#!/bin/sh
# One blade moved through six installations across two chassis: each start
# records where it went, the ring keeps the last five oldest first with the
# slot paths, chassis identities and times, a start in the same place adds
# nothing, and the library writes no EEPROM byte outside its fields.
. "$(dirname "$0")/lib.sh"
CB=${CHASSIS}_b
BEFORE=${CHASSIS}_eeprom.bin
dir() { if [ "$1" = A ]; then echo "$CHASSIS"; else echo "$CB"; fi; }
in_() { local c=$1; shift; "$ARKSIM" -C "$(dir "$c")" "$@"; }
boot() { in_ "$1" run --blade x -- $ARKBCTL boot >/dev/null || fail "boot in $1"; }
ident() { if [ "$1" = A ]; then echo "5400001 CHA001 01"; else echo "5400002 CHB002 02"; fi; }

sim create --force --identity 5400001:CHA001:01 --blade x:3 --blade y:1 >/dev/null
in_ B create --force --identity 5400002:CHB002:02 --blade z:4 >/dev/null
in_ B identity | grep -qx 'serial number  CHB002' || fail "identity of B"
! sim identity 540000 CHA001 01 2>/dev/null || fail "a 6-character part number is refused"
cp "$(sp x)/eeprom.bin" "$BEFORE"
echo kept >"$(sp x)/fs/persist/mark"

at=A
t0=$(date +%s)
for step in A:3 A:5 B:2 B:7 A:3 A:9; do
    c=${step%:*} s=${step#*:}
    if [ "$c" = "$at" ]; then
        in_ "$c" move x --to-slot "$s" >/dev/null
    else
        in_ "$at" move x --to-chassis "$(dir "$c")" --to-slot "$s" >/dev/null
        [ -z "$(ls "$(dir "$c")/blades/x/memstore")" ] || fail "the memstore is RAM: empty after a move"
        [ ! -e "$(dir "$at")/blades/x" ] || fail "x left $at"
    fi
    at=$c
    boot "$c"
    if [ "$step" = A:3 ] && [ -z "${twice:-}" ]; then
        twice=1
        cp "$(sp x)/eeprom.bin" "$CHASSIS.once"
        boot A
        cmp -s "$(sp x)/eeprom.bin" "$CHASSIS.once" || fail "a second start in the same place writes"
    fi
done
t1=$(date +%s)
[ "$(cat "$(sp x)/fs/persist/mark")" = kept ] || fail "/persist travels with the blade"

# The dump: the last five installations, oldest first.
on x instrec dump >"$CHASSIS.dump"
n=0
for step in A:5 B:2 B:7 A:3 A:9; do
    set -- $(ident "${step%:*}")
    printf '/InstallationR[%d]/Fru_Path=/CH/BL%s\n/InstallationR[%d]/Parent_Part_Number=%s\n' $n "${step#*:}" $n "$1"
    printf '/InstallationR[%d]/Parent_Serial_Number=%s\n/InstallationR[%d]/Parent_Dash_Level=%s\n' $n "$2" $n "$3"
    n=$((n + 1))
done >"$CHASSIS.want"
grep '^/Inst' "$CHASSIS.dump" | grep -v Timestamp | diff "$CHASSIS.want" - >&2 || fail "instrec dump"
# Times within the run, in order, and as the dump prints them.
prev=$t0 n=0
for ts in $(sim fru --blade x --json | sed -n 's/.*"timestamp": \([0-9]*\),.*/\1/p'); do
    [ "$ts" -ge "$prev" ] && [ "$ts" -le "$t1" ] || fail "record $n time $ts not in $prev..$t1"
    grep -qxF "/InstallationR[$n]/UNIX_Timestamp32=$(LC_ALL=C date -d "@$ts" '+%a %b %e %H:%M:%S %Y')" \
        "$CHASSIS.dump" || fail "record $n time as dumped"
    prev=$ts n=$((n + 1))
done
[ $n = 5 ] || fail "arksim fru --json lists $n records"

# The readable view: the ring has wrapped once.
sim fru --blade x >"$CHASSIS.fru"
grep -q 'CRC-8 stored 0x.., computed 0x.. ok$' "$CHASSIS.fru" || fail "header CRC"
grep -qF 'ring header: tag f8 00 14 4b, oldest 1, newest 0, count 5, capacity 5' "$CHASSIS.fru" || fail "ring header"
grep -q '^  #0  ring entry 1  .* /CH/BL5  *parent 5400001 CHA001 01$' "$CHASSIS.fru" || fail "oldest record"
grep -q 'checksum trailer at 4298: .* ok$' "$CHASSIS.fru" || fail "checksum"

# Only the header's length, CRC and count, the "FD" descriptor, the ring and
# its trailer differ from the blade as manufactured.
cmp -l "$BEFORE" "$(sp x)/eeprom.bin" |
    awk '{o = $1 - 1} !((o >= 3 && o < 6) || (o >= 16 && o < 26) || (o >= 3195 && o < 4303)) {print o; bad = 1} END {exit bad}' >&2 ||
    fail "EEPROM bytes changed outside the installation history"

# A new chassis identity is a new parent; a damaged record is still shown.
sim identity 5400003 CHA003 03 >/dev/null
boot A
on x instrec dump | grep -qxF '/InstallationR[4]/Parent_Serial_Number=CHA003' || fail "new identity recorded"
sim eeprom --blade x --offset 3300 --write 41
sim fru --blade x >"$CHASSIS.fru"
grep -q 'checksum trailer .* BAD (reading on)$' "$CHASSIS.fru" || fail "bad checksum reported"
[ "$(grep -c '^  #[0-4]  ring entry ' "$CHASSIS.fru")" = 5 ] || fail "records shown past a bad checksum"
rm -f "$CHASSIS".once "$CHASSIS".dump "$CHASSIS".want "$CHASSIS".fru "$BEFORE"
echo "instrec: ok"
