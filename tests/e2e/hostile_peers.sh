#!/bin/sh
# Many blades at once against the emulated CMM: each sends garbage,
# unterminated, oversized and out-of-range requests next to a real one, all
# within a bounded time.  The CMM must answer every real request, hand out
# exactly what its pool holds, and still serve a good request afterwards.
. "$(dirname "$0")/lib.sh"
blades=12 pool=100
args=""; for i in $(seq 1 $blades); do args="$args --blade h$i:$i"; done
sim create --force --cmm $args >/dev/null
on_exit 'sim cmm stop >/dev/null 2>&1 || true'
sim cmm start --pool $pool --owner $$ >/dev/null
storm() {  # run as blade $1's SP: four hostile connections and one real request
  sim run --blade "h$1" -- timeout 60 bash -c '
    cmm() { exec 3<>/dev/tcp/169.254.10.1/880 || return; printf "%b" "$1" >&3; timeout 10 od -An -tx1 <&3 >/dev/null; exec 3>&-; }
    cmm "PWR 5" & cmm "$(head -c 300 /dev/urandom | tr -d "\\\\%\\000")" &
    cmm "$(printf "%04096d" 0)" & cmm "PWR 99999999999\n\0" &
    wait' >/dev/null 2>&1
  on "h$1" power cmm 10 2>/dev/null | sed -n 's/^arkb_pwr_cmm_request_power: \(-*[0-9]*\).*/\1/p' >"$CHASSIS/grant.$1"
}
for i in $(seq 1 $blades); do storm $i & done
wait
grants=$(cat "$CHASSIS"/grant.* | grep -cx 10)
refusals=$(cat "$CHASSIS"/grant.* | grep -cx 0)
[ "$grants" -eq $((pool / 10)) ] || fail "grants: $grants, want $((pool / 10))"
[ $((grants + refusals)) -eq $blades ] || fail "answers: $grants grants, $refusals refusals of $blades"
sim cmm status | grep -q 'free 0 W' || fail "pool not used up exactly: $(sim cmm status)"
# Still serving: a blade that holds 10 W may ask for them again.
holder=$(grep -lx 10 "$CHASSIS"/grant.* | head -1 | sed 's/.*grant\.//')
[ "$(on "h$holder" power cmm 10 2>/dev/null | sed -n 's/^arkb_pwr_cmm_request_power: \(-*[0-9]*\).*/\1/p')" = 10 ] ||
  fail "the CMM no longer answers"
echo "hostile_peers: ok ($blades blades, $grants grants)"
