#!/bin/sh
# Traces and replays where a user stands: the build installed into a prefix,
# run by an ordinary user (when the suite runs as root: $ARKB_TEST_USER or arkdev, else
# nobody), with the installed trace library and no --preload.  The start-up
# replays; a program of two threads replays five times, each thread its own
# calls; two children of a shell replay their own calls, one that diverges
# is reported, and a trace of one process is no trace of two; a forking
# program's child replays and its output arrives; two replays at once keep
# their reports apart.
. "$(dirname "$0")/lib.sh"
[ -z "${ARKB_CROSS:-}" ] || { echo "replay_installed: skipped (cross build)"; exit 77; }
# (the preloaded trace library and programs built here would need the
# sanitizers' runtime and options, which the ordinary user's clean
# environment does not carry; e2e_trace replays under them)
[ -z "${ARKB_SANITIZED:-}" ] || { echo "replay_installed: skipped (sanitizer build)"; exit 77; }
command -v pkg-config >/dev/null || { echo "replay_installed: skipped (no pkg-config)"; exit 77; }
install_prefix
cat >"$WORK/threads.c" <<'C'
#include <pthread.h>
#include <stdio.h>
#include <arkblade.h>
static void *calls(void *arg)
{
    uint8_t slot;
    for (int i = 0; i < 20000; ++i)
        if (arkb_get_slotid(&slot) != 0 || slot != 3)
            return arg;
    return NULL;
}
int main(void)
{
    pthread_t t[2];
    void *r[2];
    for (int i = 0; i < 2; ++i)
        pthread_create(&t[i], NULL, calls, t);
    for (int i = 0; i < 2; ++i)
        pthread_join(t[i], &r[i]);
    printf("threads: %s\n", r[0] == NULL && r[1] == NULL ? "slot 3" : "failed");
    return r[0] != NULL || r[1] != NULL;
}
C
cat >"$WORK/forks.c" <<'C'
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>
#include <arkblade.h>
int main(void)
{
    uint8_t slot = 0;
    int status = 1;
    arkb_get_slotid(&slot);
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        int r = arkb_get_slotid(&slot);
        printf("child: %d, slot %u\n", r, slot);
        return r;
    }
    waitpid(pid, &status, 0);
    printf("parent: %d, slot %u\n", arkb_get_slotid(&slot), slot);
    return status;
}
C
for p in threads forks; do
  (cd "$WORK" && $ARKB_CC -std=c99 ${ARKB_CFLAGS:-} $p.c $flags -pthread -o $p) || fail "building $p"
done
# The user's folder, the prefix and the programs readable by the user.
desk_user
lib=$(ls "$prefix"/lib*/arkblade/libarkblade-trace.so.1)
traced() { local file=$1; shift; desk run -- env LD_PRELOAD="$lib" ARKB_TRACE="$user/$file" "$@"; }
rc=0; desk create >/dev/null 2>"$WORK/err" || rc=$?
[ $rc != 123 ] || { echo "replay_installed: skipped (no user namespaces for $(id -un "${who:-$(id -u)}"))"; exit 77; }
[ $rc = 0 ] || fail "create: $(cat "$WORK/err")"
ok() { printf '%s\n' "$2" | tail -1 | grep -q "^replay: the $1 came, with the recorded arguments and bytes; " || fail "$2"; }

# The start-up, and two replays of it at once.
traced boot.trace arkbctl boot >/dev/null || fail "a traced start-up"
n=$(wc -l <"$user/boot.trace")
out=$(desk replay "$user/boot.trace" -- arkbctl boot 2>&1) || fail "the start-up's replay: $out"
ok "$n recorded calls" "$out"
desk replay "$user/boot.trace" -- arkbctl boot >"$WORK/r1" 2>&1 & first=$!
desk replay "$user/boot.trace" -- arkbctl boot >"$WORK/r2" 2>&1 || fail "a replay beside another: $(cat "$WORK/r2")"
wait $first || fail "a replay beside another: $(cat "$WORK/r1")"
ok "$n recorded calls" "$(cat "$WORK/r1")"; ok "$n recorded calls" "$(cat "$WORK/r2")"

# Two threads, 20,000 calls each, replayed five times.
traced threads.trace "$WORK/threads" >/dev/null || fail "the traced threads"
for i in 1 2 3 4 5; do
  out=$(desk replay "$user/threads.trace" -- "$WORK/threads" 2>&1) || fail "threads, replay $i: $out"
  ok "40000 recorded calls of 1 process (2 threads)" "$out"
  printf '%s\n' "$out" | grep -q '^threads: slot 3$' || fail "threads, replay $i: $out"
done

# Two children of a shell; one child that diverges; one process's trace for two.
traced two.trace sh -c 'arkbctl boot; arkbctl boot' >/dev/null || fail "the traced children"
out=$(desk replay "$user/two.trace" -- sh -c 'arkbctl boot; arkbctl boot' 2>&1) || fail "two children: $out"
ok "$(wc -l <"$user/two.trace") recorded calls of 2 processes" "$out"
first_pid=$(head -1 "$user/two.trace" | cut -d@ -f1)
n=$(grep -c "^$first_pid@" "$user/two.trace")
rc=0; out=$(desk replay "$user/two.trace" -- sh -c 'arkbctl slot get; arkbctl boot' 2>&1) || rc=$?
[ $rc = 1 ] && printf '%s\n' "$out" | grep -q "^replay: divergence in process 1 of 2 (recorded pid $first_pid) at call 1 of $n (another call or other arguments)$" ||
  fail "a child that diverged: status $rc, $out"
rc=0; out=$(desk replay "$user/boot.trace" -- sh -c 'arkbctl boot; arkbctl boot' 2>&1) || rc=$?
[ $rc = 1 ] && printf '%s\n' "$out" | grep -q "^replay: divergence (a process more than the trace holds: 1 came, as recorded)$" ||
  fail "one process's trace for two: status $rc, $out"

# A forking program: the child replays its own call and its output arrives.
traced forks.trace "$WORK/forks" >/dev/null || fail "the traced forks"
out=$(desk replay "$user/forks.trace" -- "$WORK/forks" 2>&1) || fail "the forks' replay: $out"
ok "3 recorded calls of 2 processes" "$out"
printf '%s\n' "$out" | grep -q '^child: 0, slot 3$' || fail "the child's output: $out"
echo "replay_installed: ok"
