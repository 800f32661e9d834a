#!/bin/sh
# A field blade at the desk: `arkbctl snapshot` only reads (its journal holds
# no write call), records what it cannot read instead of stopping, and
# writes one JSON document with its format version.
. "$(dirname "$0")/lib.sh"
sim create --blade alpha:3 >/dev/null
on alpha boot >/dev/null
on alpha tcontrol 5 >/dev/null
sim memstore --blade alpha ARKB/SAS_CAPS 01 02 >/dev/null   # a length the library never uses
sim fault --blade alpha elm_i2c_blk_read_on_bus 1 -5 >/dev/null
: >"$(sp alpha)/journal"
snap=$WORK/alpha.json
on alpha snapshot -o "$snap" >/dev/null || fail "snapshot with an unreadable part"
reads='uptime arkmp_read_slotid arkmp_read memstore_haskey memstore_get ssbcast_sensor_format elm_i2c_blk_read_on_bus arkmp_tnlblk_read ark_pwr_i2c_readpub_bl_budget'
called=$(sed 's/^[^ ]* \([a-z_0-9]*\)(.*/\1/' "$(sp alpha)/journal" | sort -u)
for f in $called; do
  case " $reads " in *" $f "*) ;; *) fail "the snapshot called $f";; esac
done
[ "$(echo $called | wc -w)" = 9 ] || fail "the snapshot called only: $(echo $called)"
python3 - "$snap" <<'PY' || fail "snapshot content: $(head -c 600 "$snap")"
import json, sys
d = json.load(open(sys.argv[1]))
assert list(d) == ["format", "version", "taken_by", "uptime", "slot", "registers", "memstore", "files",
                   "present", "eeprom", "mailbox", "chassis_fru", "published_budget"], list(d)
assert (d["format"], d["version"], d["slot"]) == ("arkblade-snapshot", 1, 3)
assert d["registers"] == {"0x9c": 0x18, "0x4c": None, "0x7e": None, "thermal": {"register": 6, "value": 0x7F}}
keys = {k["key"]: k for k in d["memstore"]}
assert keys["tcontrol"] == {"key": "tcontrol", "length": 4, "present": True, "result": 1, "bytes": "00000005"}
assert keys["ARKB/SAS_CAPS"]["result"] == 0 and keys["ARKB/SAS_CAPS"]["bytes"] is None
assert keys["device_type"] == {"key": "device_type", "length": 4, "present": False}
assert "SSBCAST/CH/8300" in keys and len(keys) == 13
assert d["files"][0] == {"path": "/dev/shm/slotid", "bytes": "3300"}, d["files"]
assert d["present"] == {"/persist/node1": False, "/conf/override_powerctl": False, "/usr/local/bin/frutool": True}
head, ring = d["eeprom"]
assert (head["offset"], head["result"], head["bytes"]) == (0, -5, None), head
assert (ring["offset"], ring["length"], len(ring["bytes"])) == (3184, 2960, 5920)
assert ring["bytes"][22:30] == "f800144b", ring["bytes"][:40]
assert d["mailbox"]["target"] == 0x86 and d["mailbox"]["bytes"][156:160] == "c055"
assert d["chassis_fru"]["offset"] == 6144 and len(d["chassis_fru"]["bytes"]) == 4096
assert d["published_budget"] is None
PY
# Into an existing chassis, in another slot: the mailbox goes to that slot's
# tunnel memory.  A newer format version and a damaged file are refused,
# and nothing is made.
sim add-blade bravo 5 --from "$snap" | grep -q '^blade bravo in slot 5' || fail "add-blade --from"
sim mailbox show --blade bravo | grep -qi formatted || fail "bravo's mailbox: $(sim mailbox show --blade bravo)"
sed 's/"version": 1/"version": 2/' "$snap" >"$WORK/v2.json"
head -c 4000 "$snap" >"$WORK/cut.json"
sed 's/"0x9c": 24/"0x9c": 300/' "$snap" >"$WORK/reg.json"
for f in v2 cut reg; do
  "$ARKSIM" -C "$WORK/$f" create --from "$WORK/$f.json" 2>"$WORK/err" && fail "$f.json taken"
  [ ! -e "$WORK/$f" ] || fail "$f.json left a chassis"
  echo "$f: $(cat "$WORK/err")" >>"$WORK/errors"
done
grep -q "^v2: .* is snapshot format version 2; this arksim reads versions up to 1" "$WORK/errors" &&
  grep -q '^cut: .* is damaged (.*): at byte 4000: syntax error while parsing value - invalid string: missing closing quote$' "$WORK/errors" &&
  grep -q '^reg: .* is damaged (.*): registers.0x9c is no byte$' "$WORK/errors" || fail "$(cat "$WORK/errors")"
echo "field blade: ok"
