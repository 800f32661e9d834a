#!/bin/sh
# Blades ask the emulated CMM for power over the chassis network: grants and
# refusals from the pool, the sensor broadcast, hostile peers, misbehaviour,
# and a CMM that leaves nothing running once stopped.
. "$(dirname "$0")/lib.sh"
sim create --force --cmm --blade a:3 --blade b:4 >/dev/null
on_exit 'sim cmm stop >/dev/null 2>&1 || true'
sim cmm start --pool 150 --owner $$ >/dev/null
# grant BLADE WATTS: what arkb_pwr_cmm_request_power answered
grant() { on "$1" power cmm "$2" 2>/dev/null | sed -n 's/^arkb_pwr_cmm_request_power: \(-*[0-9]*\).*/\1/p'; }
expect() { [ "$1" = "$2" ] || fail "$3: got '$1', want '$2'"; }
# raw BLADE TEXT: the CMM's answer (hex) to TEXT (printf escapes) sent over TCP
raw() { sim run --blade "$1" -- bash -c 'exec 3<>/dev/tcp/169.254.10.1/880; printf "$1" >&3; od -An -tx1 <&3' _ "$2" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'; }
cmm_procs() { for p in /proc/[0-9]*; do [ "$(cat $p/comm 2>/dev/null)" = arkcmm ] && tr '\0' ' ' <$p/cmdline 2>/dev/null | grep -qF "$CHASSIS" && echo "$p"; done; true; }
bytes_are() { [ "$(hexof "$1" 2>/dev/null)" = "$2" ]; }
wait_bytes() { wait_until 3 bytes_are "$1" "$2" || expect_bytes "$1" "$2"; }

expect "$(grant a 100)" 100 "a asks 100 of 150"
expect "$(grant b 100)" 0 "b asks 100 of the 50 left"
sim cmm requests >"$CHASSIS/reqs"
grep -qF '169.254.10.103 3 "PWR 100\n\0" "OK 100\0"' "$CHASSIS/reqs" || fail "a's request recorded"
grep -qF '169.254.10.104 4 "PWR 100\n\0" "NO\0"' "$CHASSIS/reqs" || fail "b's refusal recorded"
sim cmm status | grep -q 'free 50 W' || fail "status: 50 W free"

# Broadcast: 8300 says "may power on" while watts are left.
sim broadcast start a >/dev/null
expect_bytes "$(key a SSBCAST/CH/8300)" "00 00 00 01"
[ "$(wc -c <"$(key a SSBCAST/CH/TIMESTAMP)")" -eq 4 ] || fail "4-byte TIMESTAMP"

# Hostile peers get "NO" (4e 4f 00); three stalled ones do not hold up a good one.
expect "$(raw b 'hello\0')" "4e 4f 00" "garbage"
expect "$(raw b "$(printf '%080d' 0)")" "4e 4f 00" "80 bytes, no NUL"
sim run --blade b -- bash -c '
  for i in 1 2 3; do (exec 3<>/dev/tcp/169.254.10.1/880; printf "PWR 5" >&3; : >"$0.open$i"; od -An -tx1 <&3 >"$0.stall$i") & done
  for t in $(seq 100); do [ -e "$0.open1" ] && [ -e "$0.open2" ] && [ -e "$0.open3" ] && break; sleep 0.05; done
  exec 3<>/dev/tcp/169.254.10.1/880; printf "PWR 50\n\0" >&3; od -An -tx1 <&3 >"$0.good"; wait' "$CHASSIS/x"
expect "$(tr -s ' \n' ' ' <"$CHASSIS/x.good" | sed 's/^ //; s/ $//')" "4f 4b 20 35 30 00" "good request among stalled ones"
for i in 1 2 3; do expect "$(tr -d ' \n' <"$CHASSIS/x.stall$i")" "4e4f00" "stalled request $i"; done
sim cmm requests | grep -c ' timeout$' | grep -qx 3 || fail "three time-outs recorded"
sim cmm requests | grep -q '"NO\\0" oversized$' || fail "oversized recorded"
wait_bytes "$(key a SSBCAST/CH/8300)" "00 00 00 02"   # the pool is used up
sim cmm pool 300 >/dev/null
wait_bytes "$(key a SSBCAST/CH/8300)" "00 00 00 01"
sim broadcast stop a >/dev/null
[ -e "$(key a SSBCAST/CH/TIMESTAMP)" ] || fail "stopping the broadcast keeps the keys"

# Misbehaviour, as the library's client sees it.
for case in "nolisten:-1" "split:-1" "close:-1" "reply OK 77:77" "delay 100:10" "normal:10"; do
  sim cmm behave ${case%:*} >/dev/null
  expect "$(grant a 10)" "${case#*:}" "behaviour ${case%:*}"
done
sim log --blade a | grep -q "Can't connect socket, errno = 111" || fail "nolisten refuses connections"
sim log --blade a | grep -q "wasn't property terminated" || fail "split reply"

pid=$(cat "$CHASSIS/cmm/pid")
sim cmm stop >/dev/null
[ -z "$(cmm_procs)" ] && [ ! -e "/proc/$pid/cmdline" -o -z "$(cat /proc/$pid/cmdline 2>/dev/null)" ] || fail "arkcmm still runs"
[ ! -e "$CHASSIS/netns" ] || fail "netns link left behind"
# --cmm: `arksim run` starts the CMM, with the pool and allotments kept.
expect "$(grant b 150)" 150 "autostarted CMM"
sim cmm stop >/dev/null
[ -z "$(cmm_procs)" ] || fail "arkcmm still runs after the second stop"
echo "cmm_power: ok"
