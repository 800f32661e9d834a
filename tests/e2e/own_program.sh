#!/bin/sh
# An SP developer's own program, the documented way: the build installed into
# a prefix outside the system folders, a program linked with
# `pkg-config --cflags --libs arkblade` (no run path), run by the installed
# `arksim run` as written, and arkbctl found beside arksim without PATH.
# Outside `arksim run` the installed arkbctl still gives its help and usage
# and says in one line where to run it; under it, a failed call prints its
# result once, on standard output.
. "$(dirname "$0")/lib.sh"
[ -z "${ARKB_CROSS:-}" ] || { echo "own_program: skipped (cross build)"; exit 77; }
command -v pkg-config >/dev/null || { echo "own_program: skipped (no pkg-config)"; exit 77; }
install_prefix
my_program "$WORK"
! readelf -d "$WORK/my_program" | grep -Eq 'RPATH|RUNPATH' || fail "the documented link records a run path"
export PATH=/usr/bin:/bin
installed() { "$prefix/bin/arksim" -C "$CHASSIS" "$@"; }
out=$(cd "$WORK" && installed run --new-chassis "$CHASSIS" -- ./my_program 2>&1) || fail "my_program: $out"
[ "$out" = "$(printf 'arkb_initialize_mp: 0\nslot 3')" ] || fail "my_program printed: $out"
out=$(installed run -- arkbctl slot get 2>&1) || fail "arksim run -- arkbctl: $out"
[ "$out" = "arkb_get_slotid: 0, slot 3" ] || fail "arkbctl beside arksim printed: $out"
# A caller's own LD_LIBRARY_PATH stays, after the stand-ins and before the library.
out=$(LD_LIBRARY_PATH=/nowhere installed run -- sh -c 'echo "$LD_LIBRARY_PATH"')
[ "$out" = "$prefix/bin/../lib/arksim:/nowhere:$prefix/bin/../lib" ] || fail "LD_LIBRARY_PATH in the run: $out"

# Outside arksim run: help and usage work, a call says where to run it.
ctl=$prefix/bin/arkbctl
"$ctl" --help | grep -q '^usage: arkbctl COMMAND' || fail "arkbctl --help on the host"
"$ctl" slot --help | grep -q '^usage: arkbctl slot get' || fail "arkbctl slot --help on the host"
rc=0; "$ctl" slot bogus 2>"$WORK/err" || rc=$?
[ $rc = 2 ] && grep -q "unknown subcommand 'bogus'" "$WORK/err" || fail "usage error on the host: $rc $(cat "$WORK/err")"
rc=0; out=$("$ctl" slot get 2>"$WORK/err") || rc=$?
[ $rc = 3 ] && [ -z "$out" ] && [ "$(wc -l <"$WORK/err")" = 1 ] && grep -q 'arksim run -- arkbctl slot' "$WORK/err" \
  || fail "a call on the host: status $rc, out '$out', err '$(cat "$WORK/err")'"

# A failed call: its result once, on standard output, nothing on standard error.
installed fault memstore_get 1 -1 >/dev/null
rc=0; out=$(installed run -- arkbctl slot get 2>"$WORK/err") || rc=$?
[ $rc = 1 ] && [ "$out" = "arkb_get_slotid: -1" ] && [ ! -s "$WORK/err" ] \
  || fail "a failed call: status $rc, out '$out', err '$(cat "$WORK/err")'"
echo "own_program: ok"
