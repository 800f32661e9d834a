#!/bin/sh
# Power-on admission through the emulated CMM: the pool shrinks, a request
# that no longer fits is refused, power-off gives the allotment back locally.
. "$(dirname "$0")/lib.sh"
trap 'sim cmm stop >/dev/null 2>&1 || true' EXIT
sim create --force --cmm --blade a:3 --blade b:5 >/dev/null
sim cmm start --pool 150 --owner $$ >/dev/null
requests() { wc -l < "$CHASSIS/cmm/requests"; }

on a init-mp >/dev/null; on b init-mp >/dev/null
on a power publish 100 100 >/dev/null
on a power on 100 >/dev/null || fail "a: 100 W fits the pool"
expect_bytes "$(key a available_power)" "00 00 00 64"
expect_bytes "$(key a ARKB/PWRDEC)" "00 00 00 01"
expect_bytes "$CHASSIS/power/slot3" "00 64 00 00"  # only the hwconfig power goes out
grep -q '"PWR 100\\n\\0" "OK 100\\0"' "$CHASSIS/cmm/requests" || fail "the CMM recorded the request"

! on b power on 100 >/dev/null || fail "b: 100 W no longer fits"
expect_bytes "$(key b available_power)" "00 00 00 00"
expect_bytes "$(key b ARKB/PWRDEC)" "00 00 00 00"

# Within its allotment a blade asks nobody; power-off is local too.
before=$(requests)
on a power on 60 >/dev/null || fail "a: 60 W is within its allotment"
expect_bytes "$(key a available_power)" "00 00 00 3c"
on a power off >/dev/null
expect_bytes "$(key a available_power)" "00 00 00 00"
expect_bytes "$(key a ARKB/PWRDEC)" "00 00 00 01"
[ "$(requests)" = "$before" ] || fail "no connection for requests within the allotment or power-off"

# A new request replaces the blade's allotment at the CMM.
on a power on 40 >/dev/null || fail "a: 40 W"
on b power on 100 >/dev/null || fail "b: 100 W fits once a holds only 40 W"
sim cmm status | grep -q 'allotted 140 W, free 10 W' || { sim cmm status; fail "pool 150 - 40 - 100"; }
echo "power: ok"
