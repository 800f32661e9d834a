/*
 * Recording (ARKB_TRACE): each call, once the platform answered it, is one
 * line appended to the trace with the process, its parent, the time of its
 * first traced call and the thread (numbered in the order of their first
 * platform call), so that a replay can give each process and thread its
 * own calls.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "trace_internal.h"

#define MICRO 1000000LL

static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
static int g_trace_fd = -2;      /* -2: not yet opened */
static pid_t g_process;          /* the process the figures below are of */
static long g_threads;           /* threads that made a call so far */
static long long g_start_us;     /* its first traced call */
static __thread pid_t t_process; /* the process t_thread is a number of */
static __thread long t_thread;

/* A child begins with its own numbers; the lock is taken across fork() so
 * that the child never gets it held. */
static void before_fork(void) { pthread_mutex_lock(&g_lock); }
static void after_fork(void) { pthread_mutex_unlock(&g_lock); }
__attribute__((constructor)) static void record_init(void)
{
    pthread_atfork(before_fork, after_fork, after_fork);
}

static long long now_us(void)
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return (long long)now.tv_sec * MICRO + now.tv_nsec / 1000;
}

/* Opens ARKB_TRACE once; one line on standard error when it cannot be
 * opened (the program goes on, untraced). */
static int trace_fd_locked(void)
{
    if (g_trace_fd == -2) {
        const char *path = getenv("ARKB_TRACE");
        g_trace_fd = -1;
        if (path != NULL && path[0] != '\0') {
            g_trace_fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
            if (g_trace_fd < 0)
                fprintf(stderr, "libarkblade-trace: cannot open the trace %s: %s; nothing is recorded\n",
                        path, strerror(errno));
        }
    }
    return g_trace_fd;
}

/* The trace's fd, and this thread's number in this process. */
static int who(pid_t pid, long *thread, long long *start_us)
{
    pthread_mutex_lock(&g_lock);
    int fd = trace_fd_locked();
    if (g_process != pid) {
        g_process = pid;
        g_threads = 0;
        g_start_us = now_us();
    }
    if (t_process != pid) {
        t_process = pid;
        t_thread = ++g_threads;
    }
    *thread = t_thread;
    *start_us = g_start_us;
    pthread_mutex_unlock(&g_lock);
    return fd;
}

void call_begin(struct call *c, enum bytes_kind kind)
{
    memset(c, 0, sizeof *c);
    c->kind = kind;
}

void record(struct call *c, long long result, const uint8_t *bytes, size_t shown)
{
    const pid_t pid = getpid();
    long thread;
    long long start;
    int fd = who(pid, &thread, &start);
    if (fd >= 0) {
        const long long now = now_us();
        struct text line = {0};
        putf(&line, "%ld@%lld.%06lld,ppid=%ld,start=%lld.%06lld,thread=%ld ", (long)pid, now / MICRO,
             now % MICRO, (long)getppid(), start / MICRO, start % MICRO, thread);
        put(&line, c->text.p, c->text.n);
        putf(&line, " = %lld", result);
        if (bytes != NULL && shown > 0) {
            put(&line, " : ", 3);
            put_hex(&line, bytes, shown);
        }
        put(&line, "\n", 1);
        /* One write per line, so that lines of several processes never mix. */
        for (size_t done = 0; done < line.n;) {
            ssize_t w = write(fd, line.p + done, line.n - done);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                break;
            done += (size_t)w;
        }
        free(line.p);
    }
    free(c->text.p);
}

/* After this library in the global scope, or, when a program loaded
 * libarkblade with dlopen (arkbctl does), among the libraries that
 * libarkblade was loaded with. */
void *next_function(const char *name)
{
    void *f = dlsym(RTLD_NEXT, name);
    if (f == NULL) {
        void *lib = dlopen("libarkblade.so.1", RTLD_LAZY | RTLD_NOLOAD);
        if (lib != NULL)
            f = dlsym(lib, name);
    }
    if (f == NULL) {
        fprintf(stderr, "libarkblade-trace: no platform library has %s\n", name);
        abort();
    }
    return f;
}
