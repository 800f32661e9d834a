#!/bin/sh
# A chassis is its maker's alone: its folder is 0700 and everything in it,
# made by blades, the CMM and the tools (in user namespaces when run without
# root), belongs to the maker; nothing is written outside it and $TMPDIR.
# Run by root, another user then tries to enter and change it, and cannot.
. "$(dirname "$0")/lib.sh"
me=$(id -u)
mkdir "$WORK/home"
export HOME="$WORK/home"
sim create --cmm --blade a:3 --blade b:4 >/dev/null
sim cmm start --owner $$ >/dev/null
on_exit 'sim cmm stop >/dev/null 2>&1 || true'
on a boot >/dev/null
on b power cmm 100 >/dev/null
sim move --blade b --to-slot 5 >/dev/null
sim run --blade b -- sh -c ': >/persist/made-inside; : >/dev/shm/made-inside'
sim cmm stop >/dev/null
[ "$(stat -c %a "$CHASSIS")" = 700 ] || fail "chassis folder mode $(stat -c %a "$CHASSIS"), want 700"
others=$(find "$CHASSIS" ! -user "$me" -o ! -group "$(id -g)")
[ -z "$others" ] || fail "not the maker's: $others"
[ -z "$(ls -A "$HOME")" ] || fail "written into \$HOME: $(ls -A "$HOME")"
[ "$me" = 0 ] || { echo "private_chassis: ok (modes; another user is tried as root)"; exit 0; }

# Root: the folder around it open, another user still cannot get in.
chmod 755 "$WORK"
as_other() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@" 2>/dev/null; }
as_other ls "$CHASSIS" >/dev/null && fail "another user lists the chassis"
as_other cat "$CHASSIS/blades/a/slot" >/dev/null && fail "another user reads a blade"
as_other touch "$CHASSIS/blades/a/memstore/x" && fail "another user writes a key"
as_other rm -rf "$CHASSIS/blades" && fail "another user removes blades"
if as_other "$ARKSIM" --help >/dev/null; then
  as_other "$ARKSIM" -C "$CHASSIS" show >/dev/null && fail "another user's arksim show"
  as_other "$ARKSIM" -C "$CHASSIS" run -- true && fail "another user's arksim run"
fi
[ -e "$CHASSIS/blades/a/slot" ] || fail "the chassis was changed"
echo "private_chassis: ok"
