#!/bin/sh
# The trace library on a simulated SP: a start-up's trace is the blade's own
# journal of it, call for call and byte for byte (and so are the traces of
# more programs, the CMM exchange aside); replayed, the same program makes
# exactly the recorded calls without touching the blade, and a library with
# one constant changed (the EEPROM read unit) is stopped at the first EEPROM
# read with a report.  Power-ons traced where the CMM refuses and where it
# grants replay where there is no CMM.
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
# calls TRACE...: the platform calls, without their stamps (the journal has
# no CMM exchange)
calls() { cut -d' ' -f2- "$@" | grep -Ev '^(connect|send|recv|close)\('; }
sim create >/dev/null
boot=$WORK/boot.trace
record "$boot" boot >/dev/null || fail "a traced start-up"
calls "$(sp sp1)/journal" >"$WORK/journal"
calls "$boot" >"$WORK/traced"
total=$(wc -l <"$boot")
[ "$total" -gt 40 ] && diff "$WORK/journal" "$WORK/traced" >&2 || fail "the start-up's trace is not its journal"
grep -E -q '^[0-9]+@[0-9]+\.[0-9]{6},ppid=[0-9]+,start=[0-9]+\.[0-9]{6},thread=1 arkmp_read_slotid\(\) = 0 : 03$' "$boot" || fail "stamp: $(head -1 "$boot")"
record "$WORK/more.trace" power on 50 --mode admit-on-silence >/dev/null || true   # no budget yet
record "$WORK/more.trace" power publish 300 250 >/dev/null
record "$WORK/more.trace" cmm-ready --update >/dev/null || true
record "$WORK/more.trace" netconf check >/dev/null
record "$WORK/more.trace" power self-test >/dev/null
record "$WORK/more.trace" power on 100 >/dev/null || true   # no CMM: no answer
calls "$(sp sp1)/journal" >"$WORK/journal"
calls "$boot" "$WORK/more.trace" >"$WORK/traced"
diff "$WORK/journal" "$WORK/traced" >&2 || fail "the traces of more programs are not the journal"
grep ' connect(' "$WORK/more.trace" >"$WORK/connects" &&
  ! grep -Evq ' connect\("169\.254\.10\.1", 880\) -> errno [0-9]+ = -1$' "$WORK/connects" ||
  fail "no CMM: connects that fail, with errno: $(cat "$WORK/connects")"
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
[ "$out" = "arkb_initialize_mp: 0
replay: divergence at call 6 of $total (the program made fewer calls than the trace holds)
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
# Damaged traces and files that are no trace: each is refused before
# anything runs, naming the line and what is wrong.
bad=$WORK/bad.trace
refused() {  # refused WHAT MESSAGE: the replay of $bad says "cannot replay $bad: MESSAGE"
  local out rc=0
  out=$("$ARKSIM" -C "$WORK/desk" replay --preload "$LIB" "$bad" -- $ARKBCTL boot 2>&1) || rc=$?
  [ $rc = 1 ] && [ "$out" = "arksim replay: cannot replay $bad: $2" ] || fail "$1: status $rc, $out"
}
edit() { sed "$1" "$boot" >"$bad"; }
slot=$(grep -n -m1 'memstore_get("slotid", 1) = 1 : ' "$boot" | cut -d: -f1)
# the line with the most bytes, cut to its first 10
long=$(awk '{ print NF, NR }' "$boot" | sort -n | tail -1 | cut -d' ' -f2)
bytes=$(sed -n "${long}s/.* : //p" "$boot" | wc -w)
edit "${slot}s/: 03\$/: zz/"; refused "a non-hex byte" "line $slot: byte 1 of the bytes is not two hex digits: 'zz'"
edit "${slot}s/ : 03\$//"; refused "a read without its byte" "line $slot: the line shows 0 bytes where its call reads 1"
edit "${long}s/\( : \(.. \)\{9\}..\).*/\1/"
refused "a read with 10 of its bytes" "line $long: the line shows 10 bytes where its call reads $bytes"
edit "1s/= 0 :/= 4294967297 :/"
refused "a result beyond int" "line 1: the result '4294967297' is not a number arkmp_read_slotid can return"
edit "2s/,ppid=[^ ]*//"
refused "a line without the process" "line 2: lacks ppid=, start= and thread= in its stamp, unlike line 1"
head -c $(( $(head -n 3 "$boot" | wc -c) + 30 )) "$boot" >"$bad"
refused "a line cut in the middle" "line 4: no line end (the trace is cut here?)"
{ cat "$boot"; head -c 3000000 /dev/zero | tr '\0' 7; echo; } >"$bad"
refused "a line of megabytes" "line $((total + 1)): longer than 262144 bytes"
printf 'hello world\n' >"$bad"; refused "no trace line" "line 1: the stamp 'hello' does not begin with a process id"
sim journal --full >"$bad"
refused "arksim journal's output" "line 1: this is \`arksim journal\` output, not a trace: give the blade's journal file itself (CHASSIS/blades/NAME/journal) or a trace the trace library wrote"
mkfifo "$WORK/fifo"
for f in "$WORK/fifo" /dev/zero "$WORK"; do
  rc=0; out=$("$ARKSIM" -C "$WORK/desk" replay --preload "$LIB" "$f" -- $ARKBCTL boot 2>&1) || rc=$?
  [ $rc = 1 ] && [ "$out" = "arksim replay: cannot replay $f: not a regular file" ] || fail "$f: status $rc, $out"
done
# CRLF line ends, and the blade's own journal of the start-up (stamps
# without process, one process of one thread), replay as the trace does.
sed 's/$/\r/' "$boot" >"$bad"
# replay_of TRACE ARGS...: the verdict of arkbctl ARGS replayed from TRACE
replay_of() { local t=$1; shift; "$ARKSIM" -C "$WORK/desk" replay --preload "$LIB" "$t" -- $ARKBCTL "$@" | tail -1; }
replay_of "$bad" boot | grep -q "^replay: the $total recorded calls came" || fail "CRLF: $(replay_of "$bad" boot)"
head -n "$total" "$(sp sp1)/journal" >"$bad"
replay_of "$bad" boot | grep -q "^replay: the $total recorded calls came" || fail "the journal: $(replay_of "$bad" boot)"
[ ! -s "$WORK/desk/blades/sp1/journal" ] || fail "a refused replay reached the blade"

# The CMM exchange, traced where the CMM refuses and then grants, replays at
# the desk, which has no CMM; a request for other watts stops at its send,
# and a trace without the exchange (an older library's) says so.
sim create --force --cmm --pool 50 >/dev/null
on_exit 'sim cmm stop >/dev/null 2>&1 || true'
sim run -- $ARKBCTL boot >/dev/null && sim run -- $ARKBCTL power publish 300 250 >/dev/null
for case in "refused 4e 4f 00" "granted 4f 4b 20 31 30 30 00"; do
  t=$WORK/${case%% *}.trace reply=${case#* }
  record "$t" power on 100 >/dev/null || true
  grep -q ' send(9, 0) = 9 : 50 57 52 20 31 30 30 0a 00$' "$t" && grep -q " recv(100, 0) = [0-9]* : $reply\$" "$t" &&
    grep -q ' close() = 0$' "$t" || fail "${case%% *}: the CMM exchange: $(cut -d' ' -f2- "$t")"
  replay_of "$t" power on 100 | grep -q "^replay: the $(wc -l <"$t") recorded calls came" ||
    fail "${case%% *}: $(replay_of "$t" power on 100)"
  sim cmm pool 500 >/dev/null
done
out=$(replay_of "$t" power on 120)
[ "$out" = "  first difference at byte 5: recorded 30, came 32" ] || fail "120 W replayed as 100: $out"
grep -Ev ' (connect|send|recv|close)\(' "$t" >"$bad"   # as a trace of an older library
out=$(replay_of "$bad" power on 100)
[ "${out#  (the trace holds no CMM exchange: }" != "$out" ] || fail "no exchange in the trace: $out"
n=$(grep -n -m1 ' recv(' "$t" | cut -d: -f1)
sed "${n}s/recv(100, 0) = 7/recv(6, 0) = 7/" "$t" >"$bad"
refused "a reply longer than asked for" "line $n: the call gives 7 bytes, more than the 6 it asks for"

# A trace that cannot be opened: one line naming it and why; the program goes on.
rc=0; record /nonexistent/boot.trace slot get >"$WORK/out" 2>"$WORK/err" || rc=$?
[ $rc = 0 ] && [ "$(cat "$WORK/err")" = "libarkblade-trace: cannot open the trace /nonexistent/boot.trace: No such file or directory; nothing is recorded" ] &&
  grep -q '^arkb_get_slotid: 0, slot 3$' "$WORK/out" || fail "an unopenable trace: status $rc, $(cat "$WORK/err" "$WORK/out")"
echo "trace: ok"
