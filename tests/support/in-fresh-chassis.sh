#!/bin/sh
# in-fresh-chassis.sh ARKSIM PROGRAM [ARGS...]
# Runs PROGRAM as the SP of a chassis of its own, made in a new temporary
# folder and removed afterwards, so that tests can run side by side.
set -eu
arksim=$1
shift
work=$(mktemp -d "${TMPDIR:-/tmp}/arkb-test.XXXXXX")
trap '"$arksim" -C "$work/chassis" cmm stop >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
trap 'exit 143' TERM INT
"$arksim" run --new-chassis "$work/chassis" -- "$@"
