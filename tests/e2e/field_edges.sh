#!/bin/sh
# A field blade's snapshot and its import at the edges, from an installed
# prefix as an ordinary user: an import that fails late under --force, or
# whose options are wrong, leaves the old chassis as it was; an import with
# --cmm gives the CMM the blade's allotment as its grant; `arkbctl snapshot
# -o FILE` follows no link planted at FILE, and on a full file system keeps
# the snapshot already there and says why.
. "$(dirname "$0")/lib.sh"
[ -z "${ARKB_CROSS:-}" ] || { echo "field_edges: skipped (cross build)"; exit 77; }
# The ordinary user: $ARKB_TEST_USER (CI names its own), else arkdev.
user=${ARKB_TEST_USER:-arkdev}
[ "$(id -u)" = 0 ] && id "$user" >/dev/null 2>&1 || { echo "field_edges: skipped (needs root and the user $user)"; exit 77; }
home=$(getent passwd "$user" | cut -d: -f6)
install_prefix
chmod 755 "$WORK" && chmod -R a+rX "$prefix"
desk=$WORK/desk
mkdir "$desk" "$desk/small" && chown "$user": "$desk"
# A full file system: a small tmpfs of the user's, where root may mount one.
full=
if mount -t tmpfs -o size=48k,uid="$(id -u "$user")",mode=0700 tmpfs "$desk/small" 2>/dev/null; then
  on_exit "umount '$desk/small'"
  full=1
fi
chown "$user": "$desk/small"
as_user() {
  setpriv --reuid="$user" --regid="$user" --init-groups env -i HOME="$home" PATH="$prefix/bin:/usr/bin:/bin" \
    TMPDIR=/tmp FULL="$full" sh -c "cd '$desk' && $1"
}
rc=0
as_user '
set -eu
fail() { echo "FAIL: $*" >&2; exit 1; }
tree() { (cd "$1" && find . -printf "%p %s %T@ %m\n" | sort | cksum); }
arksim -C c create >/dev/null 2>err || { [ $? = 123 ] && exit 77; fail "create: $(cat err)"; }
arksim -C c memstore available_power 00 00 01 2c >/dev/null
arksim -C c run -- arkbctl snapshot -o s.json >/dev/null
before=$(tree c)

# Wrong options are refused before the chassis is touched.
arksim -C c create --force --from s.json --pool 800 2>err && fail "--pool without --cmm taken"
grep -q -- "--pool wants --cmm" err || fail "--pool without --cmm: $(cat err)"
# A late failure (the new chassis cannot be written whole) keeps the old one.
(trap "" XFSZ; ulimit -f 24; arksim -C c create --force --from s.json) 2>err && fail "an import past ulimit -f"
grep -q "^arksim create: cannot .*: File too large$" err || fail "late failure: $(cat err)"
[ "$(tree c)" = "$before" ] || fail "the failed import changed the chassis"
[ -z "$(ls -A | grep "^\.c\.")" ] || fail "left beside the chassis: $(ls -A)"
# A whole import with --cmm: the blade s allotment is the CMM s grant.
arksim -C c create --force --from s.json --cmm >/dev/null || fail "create --force --from --cmm"
arksim -C c show --json | grep -q "\"cmm_allotment\": 300" || fail "the CMM granted: $(arksim -C c show --json | grep allotment)"

# A link planted at FILE is not followed.
echo precious >victim && ln -s victim link.json
arksim -C c run -- arkbctl snapshot -o link.json >out 2>err && fail "snapshot over a link"
grep -q "link.json is a symbolic link; not following it" err || fail "over a link: $(cat err)"
[ "$(cat victim)" = precious ] && [ -L link.json ] || fail "the link or its target changed"

# Onto a full file system: the old snapshot stays, no new file is left.
[ -n "$FULL" ] || exit 0
cp s.json small/s.json
dd if=/dev/zero of=small/filler bs=1k count=64 2>/dev/null || true
arksim -C c run -- arkbctl snapshot -o small/s.json >out 2>err && fail "snapshot onto a full file system"
grep -q "cannot write small/s.json: No space left on device (the file is as it was)" err || fail "full: $(cat err)"
cmp -s s.json small/s.json || fail "the old snapshot changed"
[ "$(ls -A small | grep -v filler)" = s.json ] || fail "left in the folder: $(ls -A small)"
' || rc=$?
[ $rc = 77 ] && { echo "field_edges: skipped (no user namespaces for $user)"; exit 77; }
[ $rc = 0 ] || fail "as $user (status $rc)"
[ -n "$full" ] || echo "field_edges: no tmpfs could be mounted: the full file system not tried"
echo "field_edges: ok"
