#!/bin/sh
# The network configuration mailbox between a blade's SP (arkbctl netconf) and
# the CMM played by `arksim mailbox` on the same tunnel memory: the dump of a
# fresh mailbox, the run-time handshake while the SP polls, start-up settings,
# what the SP publishes, and CMMs that misbehave.
. "$(dirname "$0")/lib.sh"
sim create --force --blade a:3 --blade b:4 --blade c:5 >/dev/null
for b in a b c; do on $b boot >/dev/null; done
expect() { [ "$1" = "$2" ] || fail "$3: got '$1', want '$2'"; }
# bytes BLADE: the request and grant bytes as the CMM reads them, "01 00"
bytes() { sim mailbox show --blade "$1" | sed -n 's/^sp_[a-z]*_mbox: 0x\(..\).*/\1/p' | tr '\n' ' ' | sed 's/ $//'; }
bytes_are() { [ "$(bytes "$1")" = "$2" ]; }
wait_bytes() { wait_until 5 bytes_are "$1" "$2" || expect "$(bytes "$1")" "$2" "$1's bytes"; }
steps() { cut -d' ' -f2- "$1"; }  # the CMM's report without the times

# Misbehaving CMMs, on blades b and c while the rest runs (the SP's wait after
# a grant takes its 8 polls, 16 s).  b's grant goes unanswered: the SP
# withdraws the request.  c lowers only the grant byte: the SP gives up and
# clears nothing, so the request stays raised.
sim mailbox request --blade b 10.9.9.9 static 10.9.9.1 255.0.0.0 --misbehave never-answer --timeout 40 >"$CHASSIS/b.cmm" &
b_cmm=$!
sim mailbox request --blade c 10.8.8.8 dhcp 10.8.8.1 255.0.0.0 --misbehave lower-grant-only >"$CHASSIS/c.cmm" &
c_cmm=$!
wait_bytes b "01 00"
wait_bytes c "01 00"
on b netconf check >"$CHASSIS/b.sp" &
b_sp=$!
on c netconf check >"$CHASSIS/c.sp" &
c_sp=$!

# (a) A blade started on zeroed tunnel memory has a fresh mailbox.
expect "$(on a netconf dump)" "SLOTID: 3
IS_INITIALIZED?: 1
offset: 0x0050
sp_req_mbox: 0x00
sp_grant_mbox: 0x00
ipaddr: 0.0.0.0
ipdiscovery: static
ipgway: 0.0.0.0
ipnetmask: 0.0.0.0
macaddr: 00:00:00:00:00:00
arkb_netconf_test: 0" "dump of a fresh mailbox"
expect "$(sim mailbox show --blade a | sed -n 1,3p)" "blade a, slot 3, target 0x86: formatted
header: 08 00 01 10 d5 01 4e 54 00 00 00 00 00 4e 00 22 (crc8 ok)
signature: c0 55 at 78" "fresh mailbox header"

# (b) A run-time request raised while the SP polls: granted, answered, taken.
sim mailbox request --blade a 10.1.2.3 static 10.1.2.1 255.255.255.0 >"$CHASSIS/a.cmm" &
a_cmm=$!
on a netconf watch --interval 1 --count 30 >"$CHASSIS/a.sp" || fail "watch: no request taken"
wait $a_cmm || fail "request: exit status $?"
expect "$(tail -n 5 "$CHASSIS/a.sp" | sed 's/^poll [0-9]*: //')" "arkb_netconf_check_req: 1 (request)
ipaddr: 10.1.2.3
ipgway: 10.1.2.1
ipnetmask: 255.255.255.0
ipdiscovery: 2 (static)" "settings taken by the SP"
expect "$(steps "$CHASSIS/a.cmm")" "raised the request: bytes 01 00 at 80, waiting for the grant
granted: bytes 01 01
wrote the ip section 0a 01 02 03 02 0a 01 02 01 ff ff ff 00 (10.1.2.3 static 10.1.2.1 255.255.255.0)
lowered both bytes: 00 00, handshake complete" "the CMM's steps"
expect "$(bytes a)" "00 00" "bytes after the handshake"
# Nobody grants: the CMM gives up and withdraws its request.
! sim mailbox request --blade a 10.1.2.4 static 10.1.2.1 255.255.255.0 --timeout 0.3 >/dev/null || fail "no grant must fail"
expect "$(bytes a)" "00 00" "withdrawn request"

# (c) Start-up settings left before the SP starts survive its start-up and are
# taken once; a wrong check byte is refused.  Either way both bytes end at 0.
sim reset --blade a >/dev/null
while IFS='|' read -r settings check result; do
  sim mailbox preset --blade a $settings >/dev/null
  expect "$(bytes a)" "$check" "preset $settings"
  on a boot >/dev/null
  on a netconf initial-check >"$CHASSIS/a.init" || fail "initial-check $settings"
  expect "$(sed -n 2,3p "$CHASSIS/a.init")" "$(printf '%b' "$result")" "initial-check $settings"
  expect "$(bytes a)" "00 00" "bytes after initial-check $settings"
done <<EOF
10.0.0.5 static 10.0.0.1 255.255.255.0|02 19|arkb_netconf_initial_check: 1 (request)\nipaddr: 10.0.0.5
255.0.0.0 dhcp 0.0.0.0 0.0.0.0|02 ff|arkb_netconf_initial_check: 1 (request)\nipaddr: 255.0.0.0
255.0.0.0 dhcp 0.0.0.0 0.0.0.0 --bad-check|02 00|arkb_netconf_initial_check: 0 (no request)
EOF

# (d) What the SP publishes, as the CMM reads it.
on a netconf publish-ip 192.168.1.10 dhcp 192.168.1.1 255.255.255.0 >/dev/null || fail "publish-ip"
on a netconf publish-mac 02:1A:2B:3C:4D:5E >/dev/null || fail "publish-mac"
expect "$(sim mailbox show --blade a | sed -n 4,12p)" "net_info: at 80 (0x0050)
sp_req_mbox: 0x00
sp_grant_mbox: 0x00
ipaddr: 192.168.1.10
ipdiscovery: dhcp
ipgway: 192.168.1.1
ipnetmask: 255.255.255.0
macaddr: 02:1a:2b:3c:4d:5e
marker: 0x0c" "published settings"

# The misbehaving CMMs of blades b and c.
wait $b_cmm || fail "never-answer: the SP did not withdraw the request"
wait $b_sp && wait $c_sp && wait $c_cmm || fail "c's CMM or an SP failed"
for b in b c; do
  expect "$(sed -n 2p "$CHASSIS/$b.sp")" "arkb_netconf_check_req: 0 (no request)" "$b's SP after a misbehaving CMM"
done
expect "$(steps "$CHASSIS/b.cmm" | tail -n 2)" "not answering the grant (never-answer)
the SP withdrew the request: bytes 00 00" "never-answer"
expect "$(bytes b)" "00 00" "b's bytes"
expect "$(bytes c)" "01 00" "c's bytes: the request stays raised"
sim mailbox show --blade c | grep -qx 'ipaddr: 10.8.8.8' || fail "c's settings written"
echo "netconf: ok"
