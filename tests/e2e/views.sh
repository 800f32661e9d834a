#!/bin/sh
# The machine-readable and live views of a chassis: show --json and
# stats --json are valid JSON holding the chassis's state, watch draws
# frames in place on a terminal and one after another into a pipe, and the
# timed bus is set, shown and counted.
. "$(dirname "$0")/lib.sh"
sim create --bus-khz 400 --blade alpha:3 --blade bravo:20 >/dev/null
[ "$(sim bus)" = "bus timed at 400 kHz" ] || fail "create --bus-khz: $(sim bus)"
on alpha boot >/dev/null
sim bus --khz 0 >/dev/null
[ ! -e "$CHASSIS/bus_khz" ] || fail "bus --khz 0 leaves the setting"
# A /dev/shm file whose name holds a control character, a quote and a backslash.
odd=$(printf 'odd\001"\\name')
: >"$(sp alpha)/fs/dev/shm/$odd"

sim memstore --blade alpha tcontrol ff ff ff fe >/dev/null
sim memstore --blade alpha available_power 00 01 11 70 >/dev/null
sim memstore --blade alpha ARKB/PWRBUDGET 01 2c 00 fa >/dev/null
sim memstore --blade alpha note 68 69 00 >/dev/null
sim memstore --blade alpha odd 01 02 03 >/dev/null
sim mailbox --blade alpha preset 10.0.0.5 static 10.0.0.1 255.255.255.0 >/dev/null
json=$WORK/show.json
sim show --json >"$json" || fail "show --json"
python3 -m json.tool "$json" >/dev/null || fail "show --json is not JSON: $(cat "$json")"
python3 - "$json" "$odd" <<'PY' || fail "show --json content"
import json, sys
d = json.load(open(sys.argv[1]))
assert d["type"] == 3096 and d["bus_khz"] == 0, d["type"]
assert d["registers"]["0x9c"] == 0x18 and d["registers"]["0x4c"] is None
assert d["cmm"]["pool"] > 0 and d["cmm"]["allotments"] == [] and d["cmm"]["running"] is False
alpha, bravo = d["blades"]
assert (alpha["name"], alpha["slot"], bravo["slot"]) == ("alpha", 3, 20)
keys = {k["key"]: k for k in alpha["memstore"]}
# Numbers where the key has a numeric layout, the raw bytes beside them.
assert keys["slotid"]["bytes"] == "03" and keys["slotid"]["value"] == 3, keys["slotid"]
assert keys["chassis_type"]["bytes"] == "18 0c" and keys["chassis_type"]["value"] == 3096
assert keys["tcontrol"]["value"] == -2 and keys["available_power"]["value"] == 70000, keys["tcontrol"]
assert keys["ARKB/PWRBUDGET"]["value"] == {"hwconfig_power": 300, "permitted_power": 250}
assert keys["note"]["value"] == "hi" and keys["odd"]["value"] is None
# What the picture shows, per blade; null where the blade knows nothing yet.
assert (alpha["slot_id"], alpha["chassis_type"], alpha["cmm_ready"]) == (3, 3096, None), alpha
assert alpha["power"] == {"allotment": 70000, "decision": None, "cmm_allotment": 0, "published": None}
assert bravo["network"] is None and bravo["power"]["allotment"] is None and bravo["slot_id"] is None
assert alpha["network"] == {"address": "10.0.0.5", "prefix": 24, "discovery": "static"}, alpha["network"]
assert d["cmm"]["broadcast"] is None
shm = {f["name"]: f for f in alpha["dev_shm"]}
assert shm["slotid"]["bytes"] == "33 00" and shm["chassis_type"]["bytes"] == "18 0c", shm
assert sys.argv[2] in shm, list(shm)
assert alpha["thermal"] == {"register": 6, "value": 0x7F, "override": False}
assert alpha["mailbox"]["state"] == "formatted" and alpha["mailbox"]["target"] == 0x86
assert bravo["mailbox"]["state"] == "absent" and bravo["memstore"] == []
inst = alpha["installations"]
assert inst["segment"] and inst["count"] == 1 and inst["records"][0]["fru_path"] == "/CH/BL3", inst
assert alpha["log_entries"] >= 1 and "PCA9501" in alpha["last_log"]
PY

# Stats: the start-up's modelled time, counted with the DT read and the
# tunnel access (774.19 ms at 100 kHz, the figure of the benchmark's table).
sim stats --blade alpha --json >"$WORK/stats.json" || fail "stats --json"
python3 - "$WORK/stats.json" <<'PY' || fail "stats --json content: $(cat "$WORK/stats.json")"
import json, sys
d = json.load(open(sys.argv[1]))
assert d["bus_khz"] == 0 and d["model_khz"] == 100
assert d["total"] == {"bit_times": 56919, "write_cycles": 41, "bus_ns": 774190000}, d["total"]
calls = {c["function"]: c for c in d["calls"]}
assert calls["pca_read_i2c_blade_dt"]["bit_times"] == 66
assert calls["arkmp_tunneling_init"]["bit_times"] == 29
PY

# watch into a pipe: frames one after another, each under its own line.
out=$(sim watch --count 2 --interval 0.1 | cat) || fail "watch into a pipe"
[ "$(printf '%s\n' "$out" | grep -c '^=== arksim watch: frame [12], ')" = 2 ] || fail "watch frames: $out"
printf '%s\n' "$out" | grep -q 'slot 3  alpha' || fail "watch draws the chassis: $out"
printf '%s\n' "$out" | grep -q '^  alpha .*PCA9501' || fail "watch shows the latest log entry: $out"
! printf '%s' "$out" | grep -q "$(printf '\033')" || fail "watch into a pipe writes terminal controls"
# watch on a terminal: the screen is cleared and the cursor sent home.
if command -v script >/dev/null 2>&1; then
  script -qc "$ARKSIM -C '$CHASSIS' watch --count 1" /dev/null >"$WORK/tty.out" </dev/null || fail "watch on a pty"
  grep -q "$(printf '\033')\[H$(printf '\033')\[2J=== arksim watch: frame 1" "$WORK/tty.out" ||
    fail "watch on a terminal: $(od -c "$WORK/tty.out" | head -5)"
  grep -q 'slot 20  bravo' "$WORK/tty.out" || fail "watch on a terminal draws the chassis"
fi
sim watch --interval 0 >/dev/null 2>&1 && fail "watch takes an interval of 0"
# The answer mode: named by show and show --json, marked in the journal.
sim answers edge >/dev/null && sim journal --blade alpha --clear
on alpha boot >/dev/null || fail "boot with edge answers"
sim show | grep -qx 'platform answers: edge (arksim answers)' || fail "show names the answer mode"
sim show --json | grep -q '"answers": "edge"' || fail "show --json names the answer mode"
sim journal --blade alpha | grep -q ' = 0 <edge: [0-9]*>' || fail "the journal marks the answers the mode chose"
[ "$(sim answers random --seed 7)" = "answers: random 7" ] || fail "answers random --seed"
sim answers bogus >/dev/null 2>&1 && fail "answers takes an unknown mode"
sim answers plain >/dev/null
echo "views: ok"
