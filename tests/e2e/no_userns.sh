#!/bin/sh
# Where the system refuses user namespaces, an arksim without root's
# privileges says so in one line naming what to change, ends with 123 and
# makes or changes nothing.  Provoked for real: inside a user namespace whose
# limit of further ones is 0, without capabilities, as an ordinary user is.
. "$(dirname "$0")/lib.sh"
# limited CMD...: CMD without capabilities where no user namespace can be made
limited() {
  unshare -Ur sh -c 'echo 0 >/proc/sys/user/max_user_namespaces &&
                     exec setpriv --inh-caps=-all --bounding-set=-all "$@"' _ "$@"
}
if ! limited true 2>/dev/null || limited unshare -U true 2>/dev/null; then
  echo "no_userns: cannot provoke it here (no unshare -Ur, or no limit): skipped"; exit 77
fi
# refused WHAT ARGS...: arksim ARGS, limited, fails as it should
refused() {
  local what=$1 rc=0; shift
  limited "$ARKSIM" -C "$CHASSIS" "$@" >"$WORK/out" 2>"$WORK/err" || rc=$?
  [ "$rc" = 123 ] || fail "$what: exit $rc, want 123 ($(cat "$WORK/err"))"
  [ "$(wc -l <"$WORK/err")" = 1 ] && [ ! -s "$WORK/out" ] || fail "$what: not one line: $(cat "$WORK/out" "$WORK/err")"
  grep -q "^arksim [a-z]*: user namespaces are not available (.*); the limit user.max_user_namespaces is 0 or used up: raise it (sysctl -w user.max_user_namespaces=[0-9]*), or run as root$" "$WORK/err" ||
    fail "$what: $(cat "$WORK/err")"
}
state() { find "$CHASSIS" -exec stat -c '%n %s %Y' {} + 2>/dev/null | sort; }

refused "create" create --cmm
refused "run --new-chassis" run --new-chassis "$CHASSIS" -- true
[ ! -e "$CHASSIS" ] || fail "a chassis was left behind: $(ls -A "$CHASSIS")"

sim create --cmm >/dev/null
before=$(state)
refused "run" run -- true
refused "cmm start" cmm start --pool 100
[ "$(state)" = "$before" ] || fail "the chassis changed"
[ "$(sim cmm status | head -1)" = "CMM: not running" ] || fail "a CMM runs"
echo "no_userns: ok"
