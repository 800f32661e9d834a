# Shared by the end-to-end tests: $ARKSIM and $ARKBCTL (may carry an emulator
# prefix), a fresh chassis in $CHASSIS, and small checks that read the
# simulated state directly.
set -eu
ARKSIM=$1
ARKBCTL=$2
CHASSIS=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
sim() { "$ARKSIM" -C "$CHASSIS" "$@"; }
# on BLADE CMD...: runs arkbctl as that blade's SP
on() { local blade=$1; shift; sim run --blade "$blade" -- $ARKBCTL "$@"; }
# hexof FILE: the file's bytes as "aa bb cc"
hexof() { od -An -tx1 -v "$1" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'; }
expect_bytes() { local got; got=$(hexof "$1"); [ "$got" = "$2" ] || fail "$1: got '$got', want '$2'"; }
sp() { echo "$CHASSIS/blades/$1"; }
key() { echo "$(sp "$1")/memstore/$(printf '%s' "$2" | sed 's,/,%2F,g')"; }
