# Shared by the end-to-end tests: $ARKSIM and $ARKBCTL (may carry an emulator
# prefix), a fresh chassis in $CHASSIS inside a temporary folder of the
# script's own ($WORK, removed at the end; a third argument CHASSIS puts the
# chassis there and the work files in CHASSIS.work, both kept), waits with
# deadlines, and small checks that read the simulated state directly.
set -eu
ARKSIM=$1
ARKBCTL=$2
if [ -n "${3:-}" ]; then
  CHASSIS=$3; WORK=$3.work; KEEP=1; mkdir -p "$WORK"
else
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/arkb-e2e.XXXXXX"); CHASSIS=$WORK/chassis; KEEP=
fi
# on_exit CMD: runs CMD when the script ends, before the folder goes.
CLEANUPS=:
on_exit() { CLEANUPS="$1; $CLEANUPS"; }
trap 'eval "$CLEANUPS"; [ -n "$KEEP" ] || rm -rf "$WORK"' EXIT
trap 'exit 143' TERM INT
# wait_until SECONDS CMD...: polls CMD every 0.05 s until it succeeds; false
# when it still fails at the deadline.
wait_until() {
  local end=$(( $(date +%s%N) / 1000000 + $1 * 1000 )); shift
  until "$@"; do
    [ "$(( $(date +%s%N) / 1000000 ))" -lt "$end" ] || return 1
    sleep 0.05
  done
}
fail() { echo "FAIL: $*" >&2; exit 1; }
sim() { "$ARKSIM" -C "$CHASSIS" "$@"; }
# on BLADE CMD...: runs arkbctl as that blade's SP
on() { local blade=$1; shift; sim run --blade "$blade" -- $ARKBCTL "$@"; }
# hexof FILE: the file's bytes as "aa bb cc"
hexof() { od -An -tx1 -v "$1" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'; }
expect_bytes() { local got; got=$(hexof "$1"); [ "$got" = "$2" ] || fail "$1: got '$got', want '$2'"; }
sp() { echo "$CHASSIS/blades/$1"; }
key() { echo "$(sp "$1")/memstore/$(printf '%s' "$2" | sed 's,/,%2F,g')"; }
# install_prefix: this build ($ARKB_BUILD_DIR) installed into $WORK/prefix,
# named by $prefix, with its pkg-config flags in $flags (none without
# pkg-config).
install_prefix() {
  prefix=$WORK/prefix
  "$ARKB_CMAKE" --install "$ARKB_BUILD_DIR" --prefix "$prefix" >"$WORK/install.log" || fail "install: $(cat "$WORK/install.log")"
  flags=
  ! command -v pkg-config >/dev/null \
    || flags=$(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs arkblade) || fail "pkg-config"
}
# my_program DIR: the documents' first program (a start-up, then the slot),
# my_program.c in DIR, built there against $prefix as they build it.
my_program() {
  cat >"$1/my_program.c" <<'C'
#include <stdio.h>
#include <arkblade.h>
int main(void)
{
    uint8_t slot = 0;
    int r = arkb_initialize_mp();
    printf("arkb_initialize_mp: %d\n", r);
    if (arkb_get_slotid(&slot) == 0)
        printf("slot %u\n", slot);
    return r;
}
C
  (cd "$1" && ${ARKB_CC:-cc} -std=c99 ${ARKB_CFLAGS:-} my_program.c $flags -o my_program) || fail "building my_program"
}
# desk_user: an ordinary user's desk for the installed prefix: a home $user
# in $WORK that the user owns, as_user CMD running CMD there as that user
# ($ARKB_TEST_USER, else arkdev, else nobody, when root runs the test; else
# the caller), and desk ARGS running the prefix's arksim on $user/chassis.
desk_user() {
  user=$WORK/user
  mkdir "$user"
  chmod -R a+rX "$prefix" "$WORK"
  as_user() { env -i HOME="$user" PATH=/usr/bin:/bin TMPDIR="$user" "$@"; }
  if [ "$(id -u)" = 0 ]; then
    who=${ARKB_TEST_USER:-arkdev}
    id "$who" >/dev/null 2>&1 || who=nobody
    chown "$who" "$user"
    as_user() { setpriv --reuid="$who" --regid="$(id -g "$who")" --clear-groups env -i HOME="$user" PATH=/usr/bin:/bin TMPDIR="$user" "$@"; }
  fi
  desk() { as_user "$prefix/bin/arksim" -C "$user/chassis" "$@"; }
}
