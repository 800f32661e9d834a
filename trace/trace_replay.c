/*
 * Replay (ARKB_REPLAY=TRACE, ARKB_REPLAY_REPORT=FILE): no call reaches the
 * platform; each is answered from the trace, after checking that it is the
 * recorded call with the recorded arguments and written bytes.
 *
 * Every process replays a recorded process of its own, which it claims in
 * the report at its first platform call (under a lock on the report, shared
 * by all the replay's processes): the first recorded child, not yet
 * claimed, of the process its parent replays, or, when its parent replays
 * none (a shell that starts the programs, say), the first recorded process
 * whose parent the trace does not hold, in the order of their first calls.
 * Within a process each thread replays a recorded thread: the first not yet
 * taken that began with the same call, else the first not yet taken.  The
 * whole trace is loaded and checked before the first call is answered; the
 * replay's state is under one lock.
 *
 * At the first call that differs, at a call beyond the process's or
 * thread's recorded ones, or at the end of a process that made fewer, the
 * report gets the block of the divergence and the process ends (standard
 * I/O flushed) with status ARKB_REPLAY_DIVERGED.  The report's lines:
 * "claim <pid> <recorded process, from 1>", "complete <pid>" once all its
 * recorded calls came, "ok <pid> <calls>" at its end, "diverged <pid>" and
 * its block, "error <reason>" for a trace that cannot be read.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include "trace_internal.h"

#define WHERE_SIZE 160

static pthread_once_t g_once = PTHREAD_ONCE_INIT;
static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
static struct {
    int on;
    struct trace t;
    char *report;
    pid_t pid; /* the process whose claim follows */
    size_t process;
    const struct trace_process *proc;
    size_t *next; /* per recorded thread of proc: its next call */
    char *taken;  /* per recorded thread: a thread replays it */
    size_t done;
    const char *note; /* what the trace cannot tell about this process */
} g;

static const char kThreadsAlike[] =
    "threads of this process begin with the same call, which the trace cannot "
    "tell apart: they were matched in the order of their first platform call";
static const char kEarlyChild[] =
    "a process that starts others before its own first platform call cannot be "
    "told from them by the trace: they were matched in the order of their first "
    "platform calls";
static const char kNoExchange[] = "the trace holds no CMM exchange: a journal, or a trace of an older trace "
                                  "library, which did not record it";
static __thread pid_t t_pid; /* the process t_thread is of */
static __thread size_t t_thread;
static __thread long long t_wall = -1;

static void before_fork(void) { pthread_mutex_lock(&g_lock); }
static void after_fork(void) { pthread_mutex_unlock(&g_lock); }

static void stop(void)
{
    fflush(NULL);
    _exit(ARKB_REPLAY_DIVERGED);
}

static void load(void)
{
    const char *path = getenv("ARKB_REPLAY");
    if (path == NULL || path[0] == '\0')
        return;
    const char *report = getenv("ARKB_REPLAY_REPORT");
    if (report == NULL || report[0] == '\0') {
        fprintf(stderr,
                "libarkblade-trace: ARKB_REPLAY wants ARKB_REPLAY_REPORT, the file for the verdicts\n");
        stop();
    }
    g.report = strdup(report);
    char err[TRACE_ERROR_SIZE];
    if (g.report == NULL || trace_load(path, &g.t, err, sizeof err) != 0) {
        struct text r = {0};
        putf(&r, "error %s\n", g.report != NULL ? err : "no memory");
        report_line(g.report, r.p);
        stop();
    }
    pthread_atfork(before_fork, after_fork, after_fork);
    g.on = 1;
}

int replaying(void)
{
    pthread_once(&g_once, load);
    return g.on;
}

/* "in process 2 of 2 (recorded pid 812), thread 1 of 2, ", as far as the
 * trace has more than one. */
static void where(char *w, size_t size, size_t thread)
{
    size_t threads = g.proc != NULL ? g.proc->thread_count : 1;
    w[0] = '\0';
    if (g.t.process_count > 1 && g.proc != NULL)
        snprintf(w, size, "in process %zu of %zu (recorded pid %ld)%s", g.process + 1, g.t.process_count,
                 g.proc->pid, threads > 1 ? ", " : " ");
    if (threads > 1)
        snprintf(w + strlen(w), size - strlen(w), "%sthread %zu of %zu%s", w[0] ? "" : "in ", thread + 1,
                 threads, w[0] ? ", " : " ");
}

/* What the trace cannot tell about the call that came. */
static const char *note_on(const char *came)
{
    static const char kConnect[] = "connect(";
    if (came == NULL || strncmp(came, kConnect, sizeof kConnect - 1) != 0)
        return g.note;
    for (size_t i = 0; i < g.t.count; ++i)
        if (strncmp(g.t.calls[i].call, kConnect, sizeof kConnect - 1) == 0)
            return g.note;
    return kNoExchange;
}

/* Reports and ends the process; `at` counts from 0, SIZE_MAX: no position. */
static void diverge(size_t thread, const char *what, size_t at, size_t of, const char *recorded,
                    const char *came)
{
    char w[WHERE_SIZE];
    where(w, sizeof w, thread);
    struct divergence d = {what, w, at == SIZE_MAX ? 0 : at + 1, of, recorded, came, note_on(came)};
    report_divergence(g.report, &d);
    stop();
}

/* This process's recorded process, claimed in the report. */
static void claim_process(pid_t pid, const char *came)
{
    int fd = open(g.report, O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        fprintf(stderr, "libarkblade-trace: cannot open the report %s: %s\n", g.report, strerror(errno));
        stop();
    }
    while (flock(fd, LOCK_EX) != 0 && errno == EINTR)
        ;
    struct text all = {0};
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            put(&all, buf, (size_t)n);
    const size_t count = g.t.process_count;
    char *taken = calloc(count + 1, 1);
    long parent = -1;
    const long ppid = (long)getppid();
    for (const char *line = all.p; taken != NULL && line != NULL && *line != '\0';) {
        long live, rec;
        if (sscanf(line, "claim %ld %ld", &live, &rec) == 2 && rec >= 1 && (size_t)rec <= count) {
            taken[rec - 1] = 1;
            if (live == ppid)
                parent = rec - 1;
        }
        line = strchr(line, '\n');
        line = line != NULL ? line + 1 : NULL;
    }
    free(all.p);
    if (taken == NULL)
        abort();
    size_t pick = count;
    for (size_t i = 0; i < count && pick == count; ++i)
        if (!taken[i] && g.t.processes[i].parent == parent)
            pick = i;
    free(taken);
    if (pick == count) {
        close(fd);
        g.proc = NULL;
        /* Only a trace with children can be told wrong that way. */
        int children = 0;
        for (size_t i = 0; i < count; ++i)
            children |= g.t.processes[i].parent >= 0;
        g.note = parent < 0 && children ? kEarlyChild : NULL;
        char what[WHERE_SIZE];
        size_t of = 0;
        for (size_t i = 0; i < count; ++i)
            of += g.t.processes[i].parent == parent;
        snprintf(what, sizeof what, "a process more than the trace holds%s: %zu came, as recorded",
                 parent >= 0 ? " under this one's parent" : "", of);
        diverge(0, what, SIZE_MAX, 0, NULL, came);
    }
    snprintf(buf, sizeof buf, "claim %ld %zu\n", (long)pid, pick + 1);
    if (write(fd, buf, strlen(buf)) < 0)
        fprintf(stderr, "libarkblade-trace: cannot write the report %s: %s\n", g.report, strerror(errno));
    close(fd); /* and with it the lock */
    g.pid = pid;
    g.process = pick;
    g.proc = &g.t.processes[pick];
    free(g.next);
    free(g.taken);
    g.next = calloc(g.proc->thread_count, sizeof *g.next);
    g.taken = calloc(g.proc->thread_count, 1);
    if (g.next == NULL || g.taken == NULL)
        abort();
    g.done = 0;
    g.note = NULL;
}

/* This thread's recorded thread. */
static void claim_thread(const char *came)
{
    const size_t n = g.proc->thread_count;
    size_t pick = n, first_free = n, same = 0;
    for (size_t i = 0; i < n; ++i) {
        if (g.taken[i])
            continue;
        if (first_free == n)
            first_free = i;
        if (strcmp(g.t.calls[g.proc->threads[i].calls[0]].call, came) == 0 && same++ == 0)
            pick = i;
    }
    if (first_free == n) {
        char what[WHERE_SIZE];
        snprintf(what, sizeof what,
                 "a thread more than the trace holds for its process: %zu came, as recorded", n);
        diverge(0, what, SIZE_MAX, 0, NULL, came);
    }
    if (same > 1)
        g.note = kThreadsAlike;
    t_thread = pick != n ? pick : first_free;
    g.taken[t_thread] = 1;
}

const struct trace_call *replay_call(struct call *c)
{
    const pid_t pid = getpid();
    pthread_mutex_lock(&g_lock);
    if (g.pid != pid)
        claim_process(pid, c->text.p);
    if (t_pid != pid) {
        claim_thread(c->text.p);
        t_pid = pid;
    }
    const struct trace_thread *th = &g.proc->threads[t_thread];
    const size_t at = g.next[t_thread];
    if (at >= th->count)
        diverge(t_thread, "the program made more calls than the trace holds", at, th->count, NULL, c->text.p);
    const struct trace_call *r = &g.t.calls[th->calls[at]];
    int same = strcmp(r->call, c->text.p) == 0;
    if (same && c->kind == WRITE_BYTES) {
        struct text hex = {0};
        put_hex(&hex, c->bytes, c->length);
        same = strcmp(hex.p != NULL ? hex.p : "", r->hex) == 0;
        if (!same) {
            put(&c->text, " : ", 3);
            put(&c->text, hex.p != NULL ? hex.p : "", hex.n);
        }
        free(hex.p);
    }
    if (!same)
        diverge(t_thread, "another call or other arguments", at, th->count, r->line, c->text.p);
    ++g.next[t_thread];
    t_wall = r->wall;
    if (++g.done == g.proc->calls) {
        char line[64];
        snprintf(line, sizeof line, "complete %ld\n", (long)pid);
        report_line(g.report, line);
    }
    pthread_mutex_unlock(&g_lock);
    free(c->text.p);
    return r;
}

int replay_shown(struct call *c, void *out)
{
    const struct trace_call *r = replay_call(c);
    if (r->has_shown && out != NULL) {
        const uint32_t v = (uint32_t)r->shown; /* int32_t or uint32_t alike */
        memcpy(out, &v, sizeof v);
    }
    return (int)r->result;
}

/* The library stamps an installation record with time(): replayed, the
 * clock reads the time of the thread's call before, as the recording did
 * (to the second). */
EXPORT time_t time(time_t *t)
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    time_t v = now.tv_sec;
    if (t_wall >= 0 && t_pid == getpid())
        v = (time_t)t_wall;
    if (t != NULL)
        *t = v;
    return v;
}

/* A process that made no platform call leaves the verdict to those that
 * did (a shell that starts the programs, say). */
__attribute__((destructor)) static void replay_end(void)
{
    if (!g.on)
        return;
    pthread_mutex_lock(&g_lock);
    if (g.pid == getpid()) {
        for (size_t i = 0; i < g.proc->thread_count; ++i) {
            const struct trace_thread *th = &g.proc->threads[i];
            if (g.next[i] < th->count)
                diverge(i, "the program made fewer calls than the trace holds", g.next[i], th->count,
                        g.t.calls[th->calls[g.next[i]]].line, NULL);
        }
        char ok[64];
        snprintf(ok, sizeof ok, "ok %ld %zu\n", (long)g.pid, g.proc->calls);
        report_line(g.report, ok);
    }
    pthread_mutex_unlock(&g_lock);
}
