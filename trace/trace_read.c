/*
 * A whole trace: its file (a regular one, of bounded size, its lines of
 * bounded length), every line checked, the calls grouped by process and
 * thread.
 */
#define _GNU_SOURCE
#include "trace_read.h"

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "trace_line.h"

#define refuse(...) trace_refuse(-1, __VA_ARGS__)

static void *grown(void *p, size_t count, size_t *room, size_t item)
{
    if (count < *room)
        return p;
    *room = *room ? *room * 2 : 16;
    p = realloc(p, *room * item);
    if (p == NULL)
        abort();
    return p;
}

static char *copy(const char *p, size_t n)
{
    char *s = malloc(n + 1);
    if (s == NULL)
        abort();
    memcpy(s, p, n);
    s[n] = '\0';
    return s;
}

/* The process of a line: the one with its pid and start, else a new one
 * (without process fields, every line is the one process). */
static size_t process_of(struct trace *t, const struct trace_line *l, size_t *room)
{
    for (size_t i = t->process_count; i-- > 0;) {
        const struct trace_process *p = &t->processes[i];
        if (!l->has_process || (p->pid == l->pid && p->start_us == l->start_us))
            return i;
    }
    t->processes = grown(t->processes, t->process_count, room, sizeof *t->processes);
    struct trace_process *p = &t->processes[t->process_count];
    memset(p, 0, sizeof *p);
    p->pid = l->has_process ? l->pid : -1;
    p->ppid = l->ppid;
    p->start_us = l->start_us;
    p->parent = -1;
    /* Its parent: the latest process before it with the pid of its parent. */
    for (size_t i = t->process_count; l->has_process && i-- > 0;)
        if (t->processes[i].pid == l->ppid) {
            p->parent = (long)i;
            break;
        }
    return t->process_count++;
}

/* Threads are numbered in the order of their first call, from 1. */
static int add_to_thread(struct trace_process *p, long number, size_t call, size_t *index)
{
    size_t n = number > 0 ? (size_t)number : 1;
    if (n > p->thread_count + 1)
        return 0;
    if (n == p->thread_count + 1) {
        p->threads = realloc(p->threads, n * sizeof *p->threads);
        if (p->threads == NULL)
            abort();
        memset(&p->threads[n - 1], 0, sizeof p->threads[n - 1]);
        p->thread_count = n;
    }
    struct trace_thread *th = &p->threads[n - 1];
    /* Grows by powers of two: room is the next one at or above count. */
    if ((th->count & (th->count - 1)) == 0) {
        th->calls = realloc(th->calls, (th->count ? th->count * 2 : 1) * sizeof *th->calls);
        if (th->calls == NULL)
            abort();
    }
    th->calls[th->count++] = call;
    ++p->calls;
    *index = n - 1;
    return 1;
}

static int add_line(struct trace *t, const char *s, size_t n, size_t number, size_t *rooms, char *err,
                    size_t size)
{
    struct trace_line l;
    char why[TRACE_ERROR_SIZE];
    if (!trace_parse_line(s, n, &l, why, sizeof why))
        return refuse(err, size, "line %zu: %s", number, why);
    if (t->count > 0 && l.has_process != t->has_processes)
        return refuse(err, size, "line %zu: %s ppid=, start= and thread= in its stamp, unlike line 1", number,
                      l.has_process ? "gives" : "lacks");
    t->has_processes = l.has_process;
    size_t proc = process_of(t, &l, &rooms[1]), thread;
    if (!add_to_thread(&t->processes[proc], l.thread, t->count, &thread))
        return refuse(err, size, "line %zu: thread %ld of process %ld before its thread %zu", number,
                      l.thread, l.pid, t->processes[proc].thread_count + 1);
    t->calls = grown(t->calls, t->count, &rooms[0], sizeof *t->calls);
    struct trace_call *c = &t->calls[t->count++];
    c->wall = l.wall;
    c->result = l.result;
    c->shown = l.shown;
    c->has_shown = l.has_shown;
    c->call = copy(l.call, l.call_len);
    c->hex = copy(l.hex != NULL ? l.hex : "", l.hex_len);
    c->line = copy(l.rest, l.rest_len);
    c->process = proc;
    c->thread = thread;
    return 0;
}

int trace_parse(const char *data, size_t size, struct trace *t, char *err, size_t err_size)
{
    size_t rooms[2] = {0, 0}, number = 0;
    memset(t, 0, sizeof *t);
    for (const char *p = data, *end = data + size; p < end;) {
        const char *nl = memchr(p, '\n', (size_t)(end - p));
        size_t n = (size_t)((nl != NULL ? nl : end) - p);
        ++number;
        int bad = 0;
        if (n > TRACE_MAX_LINE)
            bad = refuse(err, err_size, "line %zu: longer than %u bytes", number, TRACE_MAX_LINE);
        else if (nl == NULL)
            bad = refuse(err, err_size, "line %zu: no line end (the trace is cut here?)", number);
        else
            bad = add_line(t, p, n > 0 && p[n - 1] == '\r' ? n - 1 : n, number, rooms, err, err_size);
        if (bad) {
            trace_free(t);
            return -1;
        }
        p += n + 1;
    }
    return 0;
}

/* Closes the fd whatever way the read ends. */
static int read_all(int fd, const char *path, char **data, size_t *size, char *err, size_t err_size)
{
    struct stat st;
    if (fstat(fd, &st) != 0)
        return refuse(err, err_size, "%s: %s", path, strerror(errno));
    if (!S_ISREG(st.st_mode))
        return refuse(err, err_size, "%s: not a regular file", path);
    if (st.st_size > (off_t)TRACE_MAX_FILE)
        return refuse(err, err_size, "%s: larger than %u MiB", path, TRACE_MAX_FILE >> 20);
    size_t room = (size_t)st.st_size + 1, n = 0;
    char *buf = malloc(room);
    if (buf == NULL)
        return refuse(err, err_size, "%s: no memory for %zu bytes", path, room);
    /* Reads to the end, and no further than the cap should it grow meanwhile. */
    for (;;) {
        ssize_t r = read(fd, buf + n, room - n);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            free(buf);
            return refuse(err, err_size, "%s: %s", path, strerror(errno));
        }
        if (r == 0)
            break;
        n += (size_t)r;
        if (n == room) {
            if (room > TRACE_MAX_FILE) {
                free(buf);
                return refuse(err, err_size, "%s: larger than %u MiB", path, TRACE_MAX_FILE >> 20);
            }
            char *more = realloc(buf, room * 2);
            if (more == NULL) {
                free(buf);
                return refuse(err, err_size, "%s: no memory", path);
            }
            buf = more, room *= 2;
        }
    }
    *data = buf;
    *size = n;
    return 0;
}

int trace_load(const char *path, struct trace *t, char *err, size_t err_size)
{
    memset(t, 0, sizeof *t);
    /* O_NONBLOCK: a FIFO is refused at once, not waited for. */
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return refuse(err, err_size, "%s: %s", path, strerror(errno));
    char *data = NULL;
    size_t size = 0;
    int rc = read_all(fd, path, &data, &size, err, err_size);
    close(fd);
    if (rc != 0)
        return rc;
    char why[TRACE_ERROR_SIZE];
    rc = trace_parse(data, size, t, why, sizeof why);
    free(data);
    if (rc != 0)
        refuse(err, err_size, "%s: %s", path, why);
    return rc;
}

void trace_free(struct trace *t)
{
    for (size_t i = 0; i < t->count; ++i) {
        free(t->calls[i].call);
        free(t->calls[i].hex);
        free(t->calls[i].line);
    }
    for (size_t i = 0; i < t->process_count; ++i) {
        for (size_t k = 0; k < t->processes[i].thread_count; ++k)
            free(t->processes[i].threads[k].calls);
        free(t->processes[i].threads);
    }
    free(t->calls);
    free(t->processes);
    memset(t, 0, sizeof *t);
}

static int hex_digit(char c)
{
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

size_t trace_decode_hex(const char *hex, unsigned char *out, size_t room)
{
    size_t n = 0;
    for (const char *p = hex; n < room && p[0] != '\0' && p[1] != '\0'; p += p[2] == ' ' ? 3 : 2) {
        int hi = hex_digit(p[0]), lo = hex_digit(p[1]);
        if (hi < 0 || lo < 0)
            break;
        out[n++] = (unsigned char)(hi << 4 | lo);
        if (p[2] == '\0')
            break;
    }
    return n;
}
