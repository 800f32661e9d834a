#!/bin/sh
# The trace library on a simulated SP: a start-up's trace is the blade's own
# journal of it, call for call and byte for byte (and so are the traces of
# more programs); replayed, the same program makes exactly the recorded
# calls without touching the blade, and a library with one constant changed
# (the EEPROM read unit) is stopped at the first EEPROM read with a report.
. "$(dirname "$0")/lib.sh"
LIB=$ARKB_TRACE_LIB
# record FILE ARGS...: arkbctl ARGS as the SP, traced into FILE; the preload
# goes to the SP program, not to an emulator that runs it.
record() {
  local file=$1; shift
  case $ARKBCTL in
    qemu-*) sim run -- env QEMU_SET_ENV="LD_PRELOAD=$LIB" ARKB_TRACE="$file" $ARKBCTL "$@" ;;
    *) sim run -- env LD_PRELOAD="$LIB" ARKB_TRACE="$file" $ARKBCTL "$@" ;;
  esac
}
calls() { cut -d' ' -f2- "$@"; }
sim create >/dev/null
boot=$WORK/boot.trace
record "$boot" boot >/dev/null || fail "a traced start-up"
calls "$(sp sp1)/journal" >"$WORK/journal"
calls "$boot" >"$WORK/traced"
total=$(wc -l <"$boot")
[ "$total" -gt 40 ] && diff "$WORK/journal" "$WORK/traced" >&2 || fail "the start-up's trace is not its journal"
grep -E -q '^[0-9]+@[0-9]+\.[0-9]{6} arkmp_read_slotid\(\) = 0 : 03$' "$boot" || fail "stamp: $(head -1 "$boot")"
record "$WORK/more.trace" power on 50 --mode admit-on-silence >/dev/null || true   # no budget yet
record "$WORK/more.trace" power publish 300 250 >/dev/null
record "$WORK/more.trace" cmm-ready --update >/dev/null || true
record "$WORK/more.trace" netconf check >/dev/null
record "$WORK/more.trace" power self-test >/dev/null
record "$WORK/more.trace" power on 100 >/dev/null || true   # no CMM: no answer
calls "$(sp sp1)/journal" >"$WORK/journal"
calls "$boot" "$WORK/more.trace" >"$WORK/traced"
diff "$WORK/journal" "$WORK/traced" >&2 || fail "the traces of more programs are not the journal"
# Every platform function but arkmp_tnlblk_write_fromfile (no PCA9501 file
# on this platform) was traced.
n=$(sed 's/(.*//' "$WORK/traced" | sort -u | wc -l)
[ "$n" = 24 ] || fail "the traces hold $n functions: $(sed 's/(.*//' "$WORK/traced" | sort -u | tr '\n' ' ')"

# Replays on a fresh blade: the recorded start-up passes and reaches no state.
replay() { "$ARKSIM" -C "$WORK/desk" replay --preload "$LIB" "$boot" -- $ARKBCTL boot; }
"$ARKSIM" -C "$WORK/desk" create >/dev/null
out=$(replay) || fail "the replay of the start-up: $out"
printf '%s\n' "$out" | grep -q "^replay: the $total recorded calls came, with the recorded arguments and bytes; .* ended with status 0$" ||
  fail "replay: $out"
[ ! -s "$WORK/desk/blades/sp1/journal" ] || fail "the replay reached the blade: $(head -3 "$WORK/desk/blades/sp1/journal")"
# The first step of the start-up alone (its five calls) ends before the trace.
out=$("$ARKSIM" -C "$WORK/desk" replay --preload "$LIB" "$boot" -- $ARKBCTL init-mp) && fail "init-mp passed: $out"
[ "$out" = "replay: divergence at call 6 of $total (the program made fewer calls than the trace holds)
  recorded: $(sed -n '6s/^[^ ]* //p' "$boot")
  came:     (the program ended)" ] || fail "init-mp's report: $out"
n=$(grep -n -m1 ' elm_i2c_blk_read_on_bus(' "$boot" | cut -d: -f1)
out=$(LD_LIBRARY_PATH=$ARKB_VARIANT_DIR replay) && fail "the variant's replay passed: $out"
want="replay: divergence at call $n of $total (another call or other arguments)
  recorded: elm_i2c_blk_read_on_bus(4, 255, 255, 0xa0, 6, 0, 16, 64) = 6 : $(sed -n "${n}s/.* : //p" "$boot")
  came:     elm_i2c_blk_read_on_bus(4, 255, 255, 0xa0, 6, 0, 16, 32)"
[ "$out" = "$want" ] || fail "the variant's report:
$out
wanted:
$want"
echo "trace: ok"
