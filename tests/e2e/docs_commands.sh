#!/bin/sh
# Every command the documents show runs: each ```sh block of README.md,
# docs/GUIDE.md and its chapters (docs/guide/) and each EXAMPLES block of the
# man pages (doc_blocks.awk), against this build installed into a prefix of
# the script's own (install_prefix, lib.sh), as an ordinary user (the first
# of $ARKB_DOCS_USER, arkdev, arkci and nobody when run as root).  A document's blocks run in order, one shell each (sh -e:
# the block stops at its first failing command), in a folder of the
# document's own that stands for the reader's: HOME, TMPDIR and the current
# folder are there, no chassis exists yet, the installed bin/ comes first in
# PATH, its man pages in MANPATH and arkblade.pc in PKG_CONFIG_PATH.  A block still running after 120 s
# fails (a command shown must end by itself).
#
# The reader's folder holds what the documents take the reader to have: a
# copy of examples/, `build` (this build, for the README's build-tree
# commands), ~/arkblade (the installed prefix, where the README installs), my_program.c and my_program (a start-up and the slot),
# blade.json (a snapshot of a booted blade) and boot.trace (the trace of
# `arkbctl boot`).  In the commands, <prefix> is the installed prefix, /tmp/
# the reader's TMPDIR and the SP's /usr/lib/powerpc-linux-gnu/ the prefix's
# lib/.  A command put in the background (a line ending in &) is waited for
# at the end of its block and must succeed as well.
#
# Markers, in the documents themselves:
#   a command line ending in a comment "# illustration..."    is not run;
#   a block whose first line is "# not run by ctest -L docs: WHY"  is not run;
#   a block whose first line is "# on the SP"   runs under `arksim run`,
#     on a fresh chassis of its own;
#   a plain ``` block right after a ```sh block is that block's output,
#   compared with what it printed (stamps, pids and the folder masked).
. "$(dirname "$0")/lib.sh"
top=$(cd "$(dirname "$0")/../.." && pwd)
here=$(cd "$(dirname "$0")" && pwd)
[ -z "${ARKB_CROSS:-}" ] || { echo "docs_commands: skipped (cross build)"; exit 77; }
# A sanitizer build's programs want their runtime's options and write
# coverage files the reader cannot: the documents run against a plain build.
[ -z "${ARKB_SANITIZED:-}" ] || { echo "docs_commands: skipped (sanitizer build)"; exit 77; }

install_prefix
chmod 755 "$WORK"
as_user() { "$@"; }
give() { :; }
if [ "$(id -u)" = 0 ]; then
  user=
  for u in ${ARKB_DOCS_USER:-} arkdev arkci nobody; do id "$u" >/dev/null 2>&1 && { user=$u; break; }; done
  [ -n "$user" ] || fail "no ordinary user to run the documents as"
  as_user() { setpriv --reuid="$user" --regid="$(id -g "$user")" --init-groups "$@"; }
  give() { chown -R "$user":"$(id -g "$user")" "$@"; }
fi
# The reader's environment: nothing of ours but what the documents say.
reader() {
  as_user env -i HOME="$R/home" PATH="$prefix/bin:/usr/bin:/bin" TMPDIR="$R/tmp" MANPATH="$prefix/share/man" \
    PKG_CONFIG_PATH="$prefix/lib/pkgconfig" PS4='@@ ' "$@"
}

# The reader's own files, made once through the installed tools.
F=$WORK/fixtures
mkdir -p "$F"
my_program "$F"
chmod -R a+rX "$WORK"
give "$F"
R=$F
as_user sh -c "cd '$F' && '$prefix/bin/arksim' -C '$F/c' create >/dev/null &&
  '$prefix/bin/arksim' -C '$F/c' run -- arkbctl boot >/dev/null &&
  '$prefix/bin/arksim' -C '$F/c' run -- arkbctl snapshot -o blade.json >/dev/null &&
  '$prefix/bin/arksim' -C '$F/c' run -- env LD_PRELOAD='$prefix/lib/arkblade/libarkblade-trace.so.1' \
    ARKB_TRACE=boot.trace arkbctl boot >/dev/null" || fail "making blade.json and boot.trace"
[ -s "$F/blade.json" ] && [ -s "$F/boot.trace" ] || fail "no blade.json or boot.trace"

# mask FILE: stamps, pids and the reader's folder made alike.
mask() {
  sed -e "s|$R|<dir>|g" -e 's/[0-9][0-9]*@[0-9][0-9]*\.[0-9]*/PID@STAMP/g' \
      -e 's/[0-9]\{4\}-[0-9][0-9]-[0-9][0-9][ T][0-9:.]*/STAMP/g' \
      -e 's/^[0-9][0-9]:[0-9][0-9]:[0-9][0-9]\.[0-9]*  *[0-9]*/TIME PID/' -e 's/^[0-9]\{9,\}\.[0-9]*/STAMP/' \
      -e 's/pid [0-9][0-9]*/pid PID/g' "$1"
}
failed=0
for doc in ${ARKB_DOCS:-$(cd "$top" && echo README.md docs/GUIDE.md docs/guide/*.md man/*.1)}; do
  R=$WORK/reader-$(basename "$doc")
  B=$R/blocks
  mkdir -p "$R/home" "$R/tmp" "$B"
  cp -r "$top/examples" "$F/my_program.c" "$F/my_program" "$F/blade.json" "$F/boot.trace" "$R/"
  ln -s "$ARKB_BUILD_DIR" "$R/build"
  ln -s "$prefix" "$R/home/arkblade"
  (cd "$top" && awk -v out="$B" -f "$here/doc_blocks.awk" "$doc")
  for block in "$B"/*.sh; do
    [ -e "$block" ] || continue
    n=${block%.sh}
    where=$(cat "$n.where")
    first=$(head -1 "$block")
    case $first in "# not run by ctest -L docs:"*) continue ;; esac
    grep -v '# illustration' "$block" |
      sed -e "s#\(^\|[ =\"']\)/tmp/#\1$R/tmp/#g" -e "s|<prefix>|$prefix|g" \
          -e "s|/usr/lib/powerpc-linux-gnu/|$prefix/lib/|g" \
          -e 's/\([^&]\)&\([[:space:]]*\(#.*\)\{0,1\}\)$/\1\& bg_pids="$bg_pids $!"\2/' >"$n.run"
    # A command the block runs in the background must end well too.
    echo 'for p in ${bg_pids:-}; do wait "$p"; done' >>"$n.run"
    give "$R"
    # The trace of the commands (-x) names the failing one; not for a block
    # whose output is compared, where a pipeline's trace lines would mix
    # with what it prints.
    x=-ex; [ ! -e "$n.out" ] || x=-e
    case $first in
      "# on the SP"*) set -- timeout 120 arksim run --new-chassis "$R/tmp/sp$n" -- sh $x "$n.run" ;;
      *) set -- timeout 120 sh $x "$n.run" ;;
    esac
    rc=0
    (cd "$R" && reader "$@") >"$n.log" 2>&1 </dev/null || rc=$?
    grep -v '^@@ ' "$n.log" >"$n.printed" || true
    why=
    if [ $rc != 0 ]; then
      why="ended with status $rc after: $(grep '^@@ ' "$n.log" | tail -1 | cut -c4-)"
    elif [ -e "$n.out" ]; then
      mask "$n.printed" >"$n.printed.masked"
      mask "$n.out" | diff -u - "$n.printed.masked" >"$n.diff" || why="printed other than the document shows: $(cat "$n.diff")"
    fi
    if [ -n "$why" ]; then
      printf '%s\n' "FAIL: $where: $why"; sed 's/^/  | /' "$n.log" | tail -20; failed=$((failed + 1))
    fi
  done
  # A CMM a document started stops with it.
  for c in $(find "$R" -name blades -type d -prune 2>/dev/null); do
    (cd "$R" && reader arksim -C "${c%/blades}" cmm stop >/dev/null 2>&1) || true
  done
done
[ $failed = 0 ] || fail "$failed blocks of the documents failed"
echo "docs_commands: ok"
