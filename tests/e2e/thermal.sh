#!/bin/sh
# The thermal control setting switches the slot's override register, seen by
# the chassis; CMM readiness follows the sensor broadcast and the SP's uptime.
. "$(dirname "$0")/lib.sh"
sim create --force --blade a:5 >/dev/null
on a boot >/dev/null
on a tcontrol 4 >/dev/null
expect_bytes "$(key a therm_ovrd)" "01"
expect_bytes "$(key a tcontrol)" "00 00 00 04"
grep -q '0x5f' "$CHASSIS/registers/0a" || fail "slot 5 override register should read 0x5f"
sim show --blade a | grep -q 'override on' || fail "arksim show names the override"
on a tcontrol 2 >/dev/null
grep -q '0x7f' "$CHASSIS/registers/0a" || fail "setting 2 switches the override off"
# Readiness: not before 100 s of uptime, then by the simple wait.
sim uptime --blade a 100 >/dev/null
! on a cmm-ready --update >/dev/null || fail "not ready at 100 s"
sim uptime --blade a 101 >/dev/null
on a cmm-ready --update >/dev/null || fail "ready after 101 s"
expect_bytes "$(key a ARKB/CMMREADY)" "01"
echo "thermal: ok"
