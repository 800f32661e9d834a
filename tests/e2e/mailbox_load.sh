#!/bin/sh
# The netconf mailbox under load: six blades take run-time requests from the
# CMM side at once, round after round, while a seventh blade's tunnel memory
# is overwritten with garbage under its polling SP and the CMM of an eighth
# dies in the middle of a handshake.  Nothing crashes (no exit by a signal),
# every completed handshake reaches its SP, and the blade whose CMM died
# takes the next request.
. "$(dirname "$0")/lib.sh"
blades=6 rounds=3
args=""; for i in $(seq 1 $blades); do args="$args --blade m$i:$i"; done
sim create --force $args --blade g:7 --blade d:8 >/dev/null
for b in $(seq 1 $blades | sed 's/^/m/') g d; do on $b boot >/dev/null; done
bytes() { sim mailbox show --blade "$1" | sed -n 's/^sp_[a-z]*_mbox: 0x\(..\).*/\1/p' | tr '\n' ' ' | sed 's/ $//'; }
bytes_are() { [ "$(bytes "$1")" = "$2" ]; }
problem() { echo "$*" >>"$WORK/problems"; }
crashed() { [ "$1" -ge 128 ] && problem "$2: ended by signal $(($1 - 128))"; true; }

handshakes() {  # blade m$1: `rounds` requests, each taken by its SP
  for r in $(seq 1 $rounds); do
    sim mailbox request --blade m$1 10.$1.$r.5 static 10.$1.$r.1 255.255.0.0 --timeout 30 >"$WORK/cmm.$1.$r" 2>&1 &
    cmm=$!
    rc=0; on m$1 netconf watch --interval 1 --count 40 >"$WORK/sp.$1.$r" 2>&1 || rc=$?
    crashed $rc "SP m$1"
    rc=0; wait $cmm || rc=$?
    [ $rc = 0 ] || problem "CMM m$1 round $r: exit $rc"
    grep -q "ipaddr: 10.$1.$r.5" "$WORK/sp.$1.$r" || problem "m$1 round $r: settings lost: $(tail -3 "$WORK/sp.$1.$r")"
  done
}

garbage() {  # blade g: random tunnel bytes over header and record under its SP
  for r in $(seq 1 10); do
    sim tunnel 0x8e --offset 0 --write "$(head -c 128 /dev/urandom | od -An -tx1 -v | tr -d '\n')" >/dev/null
    for cmd in check dump "initial-check"; do
      rc=0; on g netconf $cmd >/dev/null 2>&1 || rc=$?
      crashed $rc "SP g netconf $cmd"
    done
  done
}

dying_cmm() {  # blade d: its CMM killed after raising a request, the SP then grants it
  (exec "$ARKSIM" -C "$CHASSIS" mailbox request --blade d 10.99.0.5 static 10.99.0.1 255.255.0.0 --timeout 60 \
     >/dev/null 2>&1) &
  cmm=$!
  wait_until 10 bytes_are d "01 00" || problem "d: no request raised"
  kill -9 $cmm; wait $cmm 2>/dev/null || true
  rc=0; on d netconf check >"$WORK/d.check" 2>&1 || rc=$?
  crashed $rc "SP d after its CMM died"
  # The SP waited out its polls, took nothing and withdrew the request.
  grep -q 'arkb_netconf_check_req: 0' "$WORK/d.check" || problem "d: settings of an unfinished handshake: $(cat "$WORK/d.check")"
  bytes_are d "00 00" || problem "d: request left raised: $(bytes d)"
  sim mailbox request --blade d 10.98.0.5 static 10.98.0.1 255.255.0.0 --timeout 30 >/dev/null 2>&1 &
  cmm=$!
  on d netconf watch --interval 1 --count 40 >"$WORK/d.sp" 2>&1 || true
  wait $cmm || problem "d: the next request failed"
  grep -q "ipaddr: 10.98.0.5" "$WORK/d.sp" || problem "d: the next request was not taken"
}

for i in $(seq 1 $blades); do handshakes $i & done
garbage &
dying_cmm &
wait
[ ! -s "$WORK/problems" ] || fail "$(cat "$WORK/problems")"
echo "mailbox load: $((blades * rounds)) handshakes complete, garbage and a dying CMM survived"
