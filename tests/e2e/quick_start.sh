#!/bin/sh
# The README's developer path builds what it needs and nothing more: its
# configure line works without GoogleTest and builds the library, the
# simulator and the tools, no tests or benchmarks; setup-deps installs for it
# what that needs, and for the test path everything the tests use.
. "$(dirname "$0")/lib.sh"
top=$(dirname "$0")/../..
top=$(cd "$top" && pwd)
[ -n "${ARKB_CMAKE:-}" ] || { echo "quick_start: skipped (no cmake given)"; exit 77; }
dev=$("$top/scripts/setup-deps" --list | tr '\n' ' ')
full=$(ARKB_NO_CROSS= ARKB_NO_RELIABILITY= ARKB_NO_PACKAGING= "$top/scripts/setup-deps" --tests --list | tr '\n' ' ')
for p in cmake g++ make pkg-config nlohmann-json3-dev iproute2; do
  case " $dev" in *" $p "*) ;; *) fail "the developer path lacks $p: $dev" ;; esac
done
# The test path installs what any step of the full gate uses: nothing later does.
for p in googletest libgtest-dev clang valgrind gcovr g++-powerpc-linux-gnu qemu-user dpkg-dev debhelper lintian \
         abigail-tools clang-format clang-tidy; do
  case " $dev" in *" $p "*) fail "the developer path installs $p: $dev" ;; esac
  case " $full" in *" $p "*) ;; *) fail "the test path lacks $p: $full" ;; esac
done
for p in $dev; do case " $full" in *" $p "*) ;; *) fail "the test path lacks the developer's $p" ;; esac; done
"$top/scripts/setup-deps" --bogus >/dev/null 2>&1 && fail "setup-deps takes an unknown option"
# Outside setup-deps no script installs anything (make-debs only when run
# alone, not under ARKB_NO_INSTALL=1 as the packaging check runs it).
installers=$(cd "$top/scripts" && grep -lE '^[^#"]*apt-get (install|satisfy)' -- * | grep -vxE 'setup-deps|make-debs' || true)
[ -z "$installers" ] || fail "scripts other than setup-deps install packages: $installers"

# The README's configure line, as written, in a folder of our own, with
# GoogleTest out of reach.
line=$(grep -m1 '^cmake -S \. -B build ' "$top/README.md" | sed 's/ &&.*//') || fail "no configure line in the README"
[ -n "$line" ] || fail "no configure line in the README"
set -- $(printf '%s\n' "$line" | sed "s|^cmake ||; s|-B build|-B $WORK/build|")
(cd "$top" && "$ARKB_CMAKE" "$@" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DARKBLADE_WERROR=ON >"$WORK/configure.log" 2>&1) \
  || fail "the README's configure line without GoogleTest: $(tail -5 "$WORK/configure.log")"
"$ARKB_CMAKE" --build "$WORK/build" --target help >"$WORK/targets"
for t in arkblade arksim arkcmm arkbctl sim_memstore; do
  grep -q "^\.\.\. $t\$" "$WORK/targets" || fail "the developer build lacks $t"
done
for t in unit_tests arkbench cmm_load; do
  grep -q "^\.\.\. $t\$" "$WORK/targets" && fail "the developer build builds $t"
done
echo "quick_start: ok"
