/*
 * libarkblade-trace.so.1: a trace of the platform calls that libarkblade
 * makes, taken where the library runs (a real SP or a simulated one).
 * Loaded with LD_PRELOAD, it stands before the SP's platform libraries:
 *
 *   ARKB_TRACE=FILE    every call is passed on to the platform function and
 *                      then appended to FILE, one line in the form of the
 *                      simulator's journal: "<pid>@<seconds>.<micro> <call> =
 *                      <result>[ : <hex bytes>]", the bytes being those the
 *                      call read (memstore_get, register, tunnel and EEPROM
 *                      reads) or wrote.
 *   ARKB_REPLAY=FILE   no call reaches the platform: each is answered from
 *                      the next line of FILE, a trace of one program's run
 *                      (its result and the bytes it read), after checking
 *                      that it is the recorded call with the recorded
 *                      arguments and bytes.  At the first call that differs,
 *                      or at the end of a run that made fewer calls, a report
 *                      (the call's position, what was recorded and what came)
 *                      goes to standard error and to ARKB_REPLAY_REPORT, and
 *                      the process ends with status ARKB_REPLAY_DIVERGED.
 *                      A run that matched writes "ok N" to ARKB_REPLAY_REPORT.
 *                      The first process to make a platform call replays;
 *                      the programs it starts pass their calls on.
 *
 * Plain C over libc alone: an SP image need hold no C++ runtime, and the
 * platform functions are found with dlsym(RTLD_NEXT) rather than linked.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "arkb_outside.h"

#define ARKB_REPLAY_DIVERGED 86
#define EXPORT __attribute__((visibility("default")))

/* --- a growing text buffer ---------------------------------------------- */

struct text {
    char *p;
    size_t n, cap;
};

static void grow(struct text *t, size_t more)
{
    if (t->n + more + 1 <= t->cap)
        return;
    size_t cap = t->cap ? t->cap : 256;
    while (cap < t->n + more + 1)
        cap *= 2;
    char *p = realloc(t->p, cap);
    if (p == NULL)
        abort();
    t->p = p;
    t->cap = cap;
}

static void put(struct text *t, const char *s, size_t n)
{
    grow(t, n);
    memcpy(t->p + t->n, s, n);
    t->n += n;
    t->p[t->n] = '\0';
}

static void putf(struct text *t, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
static void putf(struct text *t, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(NULL, 0, fmt, ap);
    va_end(ap);
    if (n <= 0)
        return;
    grow(t, (size_t)n);
    va_start(ap, fmt);
    vsnprintf(t->p + t->n, (size_t)n + 1, fmt, ap);
    va_end(ap);
    t->n += (size_t)n;
}

static void put_hex(struct text *t, const uint8_t *b, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    grow(t, n * 3);
    for (size_t i = 0; i < n; ++i) {
        if (i != 0)
            t->p[t->n++] = ' ';
        t->p[t->n++] = digits[b[i] >> 4];
        t->p[t->n++] = digits[b[i] & 15];
    }
    t->p[t->n] = '\0';
}

static void put_quoted(struct text *t, const char *s) { putf(t, "\"%s\"", s != NULL ? s : "(null)"); }

/* --- one call: its text, then its result and bytes ----------------------- */

enum bytes_kind { NO_BYTES, READ_BYTES, WRITE_BYTES };

struct call {
    struct text text; /* "memstore_get(\"slotid\", 1)" */
    enum bytes_kind kind;
    const uint8_t *bytes; /* written: what the caller handed over */
    size_t length;
};

static void call_begin(struct call *c, enum bytes_kind kind)
{
    memset(c, 0, sizeof *c);
    c->kind = kind;
}

/* --- recording ------------------------------------------------------------ */

static int g_trace_fd = -2; /* -2: not yet opened */

static int trace_fd(void)
{
    if (g_trace_fd == -2) {
        const char *path = getenv("ARKB_TRACE");
        g_trace_fd = path != NULL && path[0] != '\0'
                         ? open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644)
                         : -1;
    }
    return g_trace_fd;
}

/* Appends the call's line with its result and the bytes it moved (none when
 * `shown` is 0). */
static void record(struct call *c, long long result, const uint8_t *bytes, size_t shown)
{
    int fd = trace_fd();
    if (fd >= 0) {
        struct timespec now;
        struct text line = {0};
        clock_gettime(CLOCK_REALTIME, &now);
        putf(&line, "%ld@%lld.%06ld ", (long)getpid(), (long long)now.tv_sec, now.tv_nsec / 1000);
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

/* The platform function behind this one: after this library in the global
 * scope, or, when a program loaded libarkblade with dlopen (arkbctl does),
 * among the libraries that libarkblade was loaded with. */
static void *next_function(const char *name)
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

/* --- replaying -------------------------------------------------------------- */

struct recorded {
    long long wall; /* the stamp's seconds, -1 when it has none */
    char *call;     /* the call's text, up to " = " */
    long long result;
    char *hex;  /* the bytes, "" when none */
    char *line; /* the line without its stamp, for the report */
};

static struct {
    int state; /* 0 not read yet, 1 replaying, -1 not replaying */
    struct recorded *calls;
    size_t count, next;
    char *file;
} g_replay;

static char *g_report; /* ARKB_REPLAY_REPORT */

static char *dup_range(const char *p, size_t n)
{
    char *s = malloc(n + 1);
    if (s == NULL)
        abort();
    memcpy(s, p, n);
    s[n] = '\0';
    return s;
}

/* "<stamp> <call> = <result>[ <mode: plain>][ : <hex>]"; 0 when it is none. */
static int parse_line(const char *line, size_t n, struct recorded *r)
{
    const char *end = line + n, *space = memchr(line, ' ', n);
    if (space == NULL || line[0] < '0' || line[0] > '9')
        return 0;
    const char *rest = space + 1;
    const char *eq = NULL;
    for (const char *p = rest; p + 3 <= end; ++p)
        if (memcmp(p, " = ", 3) == 0) {
            eq = p;
            break;
        }
    if (eq == NULL)
        return 0;
    char *after;
    r->result = strtoll(eq + 3, &after, 10);
    if (after == eq + 3)
        return 0;
    const char *hex = NULL;
    for (const char *p = after; p + 3 <= end; ++p)
        if (memcmp(p, " : ", 3) == 0) {
            hex = p + 3;
            break;
        }
    const char *at = memchr(line, '@', (size_t)(space - line));
    r->wall = at != NULL ? strtoll(at + 1, NULL, 10) : -1;
    r->call = dup_range(rest, (size_t)(eq - rest));
    r->hex = hex != NULL ? dup_range(hex, (size_t)(end - hex)) : dup_range("", 0);
    r->line = dup_range(rest, (size_t)(end - rest));
    return 1;
}

static void load_replay(void)
{
    const char *path = getenv("ARKB_REPLAY");
    g_replay.state = -1;
    if (path == NULL || path[0] == '\0')
        return;
    g_replay.state = 1;
    g_replay.file = dup_range(path, strlen(path));
    /* The replay is this process's, the first to make a platform call: the
     * programs it starts in turn (the shell of a system(), say) pass their
     * calls on. */
    const char *report = getenv("ARKB_REPLAY_REPORT");
    g_report = report != NULL ? dup_range(report, strlen(report)) : NULL;
    unsetenv("ARKB_REPLAY");
    unsetenv("ARKB_REPLAY_REPORT");
    FILE *f = fopen(g_replay.file, "re");
    if (f == NULL) {
        fprintf(stderr, "libarkblade-trace: cannot read the trace %s: %s\n", g_replay.file, strerror(errno));
        _exit(ARKB_REPLAY_DIVERGED);
    }
    char *line = NULL;
    size_t cap = 0, room = 0;
    ssize_t n;
    while ((n = getline(&line, &cap, f)) > 0) {
        if (line[n - 1] == '\n')
            --n;
        struct recorded r;
        if (!parse_line(line, (size_t)n, &r))
            continue;
        if (g_replay.count == room) {
            room = room ? room * 2 : 64;
            g_replay.calls = realloc(g_replay.calls, room * sizeof *g_replay.calls);
            if (g_replay.calls == NULL)
                abort();
        }
        g_replay.calls[g_replay.count++] = r;
    }
    free(line);
    fclose(f);
}

static int replaying(void)
{
    if (g_replay.state == 0)
        load_replay();
    return g_replay.state == 1;
}

static void write_report(const char *text)
{
    const char *path = g_report;
    if (path == NULL || path[0] == '\0')
        return;
    int fd = open(path, O_WRONLY | O_TRUNC | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    for (size_t done = 0, n = strlen(text); done < n;) {
        ssize_t w = write(fd, text + done, n - done);
        if (w <= 0)
            break;
        done += (size_t)w;
    }
    close(fd);
}

/* A line of the report: the call and its result, its bytes cut to the
 * first 16 and their count. */
static void put_short(struct text *r, const char *label, const char *line)
{
    const char *bytes = strstr(line, " : ");
    size_t head = bytes != NULL ? (size_t)(bytes - line) + 3 : strlen(line);
    putf(r, "  %s %.*s", label, (int)head, line);
    if (bytes != NULL) {
        size_t n = (strlen(bytes + 3) + 1) / 3;
        if (n > 16)
            putf(r, "%.47s ... (%zu bytes)", bytes + 3, n);
        else
            put(r, bytes + 3, strlen(bytes + 3));
    }
    put(r, "\n", 1);
}

/* The first byte where two "aa bb" runs differ, as a line of the report. */
static void put_difference(struct text *r, const char *recorded, const char *came)
{
    const char *a = strstr(recorded, " : "), *b = strstr(came, " : ");
    if (a == NULL || b == NULL)
        return;
    a += 3, b += 3;
    /* Steps a byte at a time, reading no further than each run's end (a
     * damaged trace may end a byte after one digit). */
    size_t i = 0;
    while (a[0] != '\0' && a[1] != '\0' && a[0] == b[0] && a[1] == b[1]) {
        ++i;
        a += a[2] == ' ' ? 3 : 2;
        b += b[2] == ' ' ? 3 : 2;
    }
    putf(r, "  first difference at byte %zu: recorded %.2s, came %.2s\n", i, a[0] ? a : "--",
         b[0] ? b : "--");
}

static void diverged(const char *what, const char *recorded, const struct text *came)
{
    struct text r = {0};
    putf(&r, "divergence at call %zu of %zu (%s)\n", g_replay.next + 1, g_replay.count, what);
    put_short(&r, "recorded:", recorded != NULL ? recorded : "(no more calls)");
    put_short(&r, "came:    ", came != NULL ? came->p : "(the program ended)");
    if (recorded != NULL && came != NULL)
        put_difference(&r, recorded, came->p);
    if (g_report != NULL && g_report[0] != '\0')
        write_report(r.p);
    else
        fprintf(stderr, "libarkblade-trace: %s", r.p);
    _exit(ARKB_REPLAY_DIVERGED);
}

static int hex_value(char c)
{
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

/* Decodes "aa bb" into at most `room` bytes; the count decoded. */
static size_t decode_hex(const char *hex, uint8_t *out, size_t room)
{
    size_t n = 0;
    for (const char *p = hex; p[0] != '\0' && p[1] != '\0' && n < room; p += p[2] == ' ' ? 3 : 2) {
        int hi = hex_value(p[0]), lo = hex_value(p[1]);
        if (hi < 0 || lo < 0)
            break;
        out[n++] = (uint8_t)(hi << 4 | lo);
        if (p[2] == '\0')
            break;
    }
    return n;
}

/* The next recorded call, checked against this one: the same text (up to
 * " -> " for the calls that show a value they read there) and, for a write,
 * the same bytes.  Diverges otherwise. */
static const struct recorded *replay_call(struct call *c)
{
    if (g_replay.next >= g_replay.count) {
        diverged("the program made more calls than the trace holds", NULL, &c->text);
    }
    const struct recorded *r = &g_replay.calls[g_replay.next];
    size_t len = strlen(r->call);
    const char *arrow = strstr(r->call, ") -> ");
    if (arrow != NULL)
        len = (size_t)(arrow + 1 - r->call);
    int same = len == c->text.n && memcmp(r->call, c->text.p, len) == 0;
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
        diverged("another call or other arguments", r->line, &c->text);
    ++g_replay.next;
    free(c->text.p);
    return r;
}

/* A recorded call's value after " -> " ("pca_read_i2c_blade_dt(3) -> 0"). */
static long long shown_value(const struct recorded *r, int *found)
{
    const char *arrow = strstr(r->call, ") -> ");
    *found = arrow != NULL;
    return arrow != NULL ? strtoll(arrow + 5, NULL, 10) : 0;
}

/* The library stamps an installation record with time(): replayed, the
 * clock reads the time of the call before, as the recording did (to the
 * second). */
EXPORT time_t time(time_t *t)
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    time_t v = now.tv_sec;
    if (g_replay.state == 1 && g_replay.next > 0 && g_replay.calls[g_replay.next - 1].wall >= 0)
        v = (time_t)g_replay.calls[g_replay.next - 1].wall;
    if (t != NULL)
        *t = v;
    return v;
}

/* A process that made no platform call leaves the verdict to the one that
 * does (a shell that starts the program, say). */
__attribute__((destructor)) static void replay_end(void)
{
    if (g_replay.state != 1)
        return;
    if (g_replay.next < g_replay.count)
        diverged("the program made fewer calls than the trace holds", g_replay.calls[g_replay.next].line,
                 NULL);
    char ok[64];
    snprintf(ok, sizeof ok, "ok %zu\n", g_replay.count);
    write_report(ok);
}

/* --- the platform functions ------------------------------------------------ */

#define REAL(name)                                                                                           \
    static __typeof__(&name) real_##name;                                                                    \
    if (real_##name == NULL && !replaying())                                                                 \
    real_##name = (__typeof__(&name))next_function(#name)

static size_t span(int len) { return len > 0 ? (size_t)len : 0; }

/* A read: replayed (result and bytes from the trace) or passed on. */
#define READ_CALL(c, call_expr, out, room, shown_expr)                                                       \
    do {                                                                                                     \
        if (replaying()) {                                                                                   \
            const struct recorded *r_ = replay_call(&(c));                                                   \
            if ((out) != NULL)                                                                               \
                decode_hex(r_->hex, (uint8_t *)(out), (room));                                               \
            return (__typeof__(call_expr))r_->result;                                                        \
        }                                                                                                    \
        __typeof__(call_expr) rc_ = (call_expr);                                                             \
        record(&(c), (long long)rc_, (const uint8_t *)(out), (shown_expr));                                  \
        return rc_;                                                                                          \
    } while (0)

/* A call whose line shows no bytes, or the bytes handed over (c.bytes). */
#define PLAIN_CALL(c, call_expr)                                                                             \
    do {                                                                                                     \
        if (replaying())                                                                                     \
            return (__typeof__(call_expr))replay_call(&(c))->result;                                         \
        __typeof__(call_expr) rc_ = (call_expr);                                                             \
        record(&(c), (long long)rc_, (c).bytes, (c).length);                                                 \
        return rc_;                                                                                          \
    } while (0)

EXPORT int memstore_get(const char *key, void *buf, int len)
{
    REAL(memstore_get);
    struct call c;
    call_begin(&c, READ_BYTES);
    put(&c.text, "memstore_get(", 13);
    put_quoted(&c.text, key);
    putf(&c.text, ", %d)", len);
    if (replaying()) {
        const struct recorded *r = replay_call(&c);
        if (buf != NULL && r->result == 1)
            decode_hex(r->hex, buf, span(len));
        return (int)r->result;
    }
    int rc = real_memstore_get(key, buf, len);
    record(&c, rc, buf, rc == 1 && buf != NULL ? span(len) : 0);
    return rc;
}

EXPORT int memstore_set(const char *key, const void *buf, int len)
{
    REAL(memstore_set);
    struct call c;
    call_begin(&c, WRITE_BYTES);
    put(&c.text, "memstore_set(", 13);
    put_quoted(&c.text, key);
    putf(&c.text, ", %d)", len);
    c.bytes = buf;
    c.length = buf != NULL ? span(len) : 0;
    PLAIN_CALL(c, real_memstore_set(key, buf, len));
}

EXPORT int memstore_haskey(const char *key)
{
    REAL(memstore_haskey);
    struct call c;
    call_begin(&c, NO_BYTES);
    put(&c.text, "memstore_haskey(", 16);
    put_quoted(&c.text, key);
    put(&c.text, ")", 1);
    PLAIN_CALL(c, real_memstore_haskey(key));
}

EXPORT int arkmp_read_slotid(uint8_t *slot)
{
    REAL(arkmp_read_slotid);
    struct call c;
    call_begin(&c, READ_BYTES);
    put(&c.text, "arkmp_read_slotid()", 19);
    int rc = 0;
    if (!replaying())
        rc = real_arkmp_read_slotid(slot);
    READ_CALL(c, rc, slot, 1, rc >= 0 && slot != NULL ? 1 : 0);
}

EXPORT int arkmp_read(uint8_t reg, uint8_t *buf, int len)
{
    REAL(arkmp_read);
    struct call c;
    call_begin(&c, READ_BYTES);
    putf(&c.text, "arkmp_read(0x%02x, %d)", reg, len);
    int rc = 0;
    if (!replaying())
        rc = real_arkmp_read(reg, buf, len);
    /* Only exactly -1 is a failure; one byte is read. */
    READ_CALL(c, rc, buf, span(len), rc != -1 && buf != NULL && len >= 1 ? 1 : 0);
}

EXPORT int arkmp_write(uint8_t reg, const uint8_t *buf, int len)
{
    REAL(arkmp_write);
    struct call c;
    call_begin(&c, WRITE_BYTES);
    putf(&c.text, "arkmp_write(0x%02x, %d)", reg, len);
    c.bytes = buf;
    c.length = buf != NULL ? span(len) : 0;
    PLAIN_CALL(c, real_arkmp_write(reg, buf, len));
}

EXPORT int arkmp_writeread(uint8_t target, const uint8_t *wbuf, uint8_t *rbuf, int wlen, int rlen)
{
    REAL(arkmp_writeread);
    struct call c;
    call_begin(&c, READ_BYTES);
    putf(&c.text, "arkmp_writeread(0x%02x, [", target);
    if (wbuf != NULL)
        put_hex(&c.text, wbuf, span(wlen));
    putf(&c.text, "], %d, %d)", wlen, rlen);
    int rc = 0;
    if (!replaying())
        rc = real_arkmp_writeread(target, wbuf, rbuf, wlen, rlen);
    READ_CALL(c, rc, rbuf, span(rlen), rc >= 0 && rbuf != NULL ? span(rlen) : 0);
}

EXPORT int arkmp_tunneling_init(int enable)
{
    REAL(arkmp_tunneling_init);
    struct call c;
    call_begin(&c, NO_BYTES);
    putf(&c.text, "arkmp_tunneling_init(%d)", enable);
    PLAIN_CALL(c, real_arkmp_tunneling_init(enable));
}

EXPORT int arkmp_tnlblk_read(uint8_t target, uint8_t *buf, int len, int offset, int width, int unit)
{
    REAL(arkmp_tnlblk_read);
    struct call c;
    call_begin(&c, READ_BYTES);
    putf(&c.text, "arkmp_tnlblk_read(0x%02x, %d, %d, %d, %d)", target, len, offset, width, unit);
    int rc = 0;
    if (!replaying())
        rc = real_arkmp_tnlblk_read(target, buf, len, offset, width, unit);
    READ_CALL(c, rc, buf, span(len), rc >= 0 && buf != NULL ? span(len) : 0);
}

EXPORT int arkmp_tnlblk_write(uint8_t target, const uint8_t *buf, int len, int offset, int width, int unit)
{
    REAL(arkmp_tnlblk_write);
    struct call c;
    call_begin(&c, WRITE_BYTES);
    putf(&c.text, "arkmp_tnlblk_write(0x%02x, %d, %d, %d, %d)", target, len, offset, width, unit);
    c.bytes = buf;
    c.length = buf != NULL ? span(len) : 0;
    PLAIN_CALL(c, real_arkmp_tnlblk_write(target, buf, len, offset, width, unit));
}

EXPORT int arkmp_tnlblk_write_fromfile(const char *path, uint8_t target, int width, int unit)
{
    REAL(arkmp_tnlblk_write_fromfile);
    struct call c;
    call_begin(&c, NO_BYTES);
    put(&c.text, "arkmp_tnlblk_write_fromfile(", 28);
    put_quoted(&c.text, path);
    putf(&c.text, ", 0x%02x, %d, %d)", target, width, unit);
    PLAIN_CALL(c, real_arkmp_tnlblk_write_fromfile(path, target, width, unit));
}

static void i2c_text(struct call *c, const char *name, int bus, int s1, int s2, int addr, unsigned len,
                     unsigned offset, int width, int unit)
{
    putf(&c->text, "%s(%d, %d, %d, 0x%02x, %u, %u, %d, %d)", name, bus, s1, s2, addr, len, offset, width,
         unit);
}

EXPORT int elm_i2c_blk_read_on_bus(int bus, int sel1, int sel2, int addr, uint8_t *buf, unsigned len,
                                   unsigned offset, int width, int unit)
{
    REAL(elm_i2c_blk_read_on_bus);
    struct call c;
    call_begin(&c, READ_BYTES);
    i2c_text(&c, "elm_i2c_blk_read_on_bus", bus, sel1, sel2, addr, len, offset, width, unit);
    int rc = 0;
    if (!replaying())
        rc = real_elm_i2c_blk_read_on_bus(bus, sel1, sel2, addr, buf, len, offset, width, unit);
    READ_CALL(c, rc, buf, len, rc >= 0 && buf != NULL ? len : 0);
}

EXPORT int elm_i2c_blk_write_on_bus(int bus, int sel1, int sel2, int addr, const uint8_t *buf, unsigned len,
                                    unsigned offset, int width, int unit)
{
    REAL(elm_i2c_blk_write_on_bus);
    struct call c;
    call_begin(&c, WRITE_BYTES);
    i2c_text(&c, "elm_i2c_blk_write_on_bus", bus, sel1, sel2, addr, len, offset, width, unit);
    c.bytes = buf;
    c.length = buf != NULL ? len : 0;
    PLAIN_CALL(c, real_elm_i2c_blk_write_on_bus(bus, sel1, sel2, addr, buf, len, offset, width, unit));
}

EXPORT int pca_read_i2c_blade_dt(int slot, uint32_t *dt)
{
    REAL(pca_read_i2c_blade_dt);
    struct call c;
    call_begin(&c, NO_BYTES);
    putf(&c.text, "pca_read_i2c_blade_dt(%d)", slot);
    if (replaying()) {
        const struct recorded *r = replay_call(&c);
        int found;
        long long v = shown_value(r, &found);
        if (found && dt != NULL)
            *dt = (uint32_t)v;
        return (int)r->result;
    }
    int rc = real_pca_read_i2c_blade_dt(slot, dt);
    if (rc >= 0 && dt != NULL)
        putf(&c.text, " -> %u", *dt);
    record(&c, rc, NULL, 0);
    return rc;
}

EXPORT uint8_t compute_crc8(const uint8_t *buf, int len)
{
    REAL(compute_crc8);
    struct call c;
    call_begin(&c, NO_BYTES);
    putf(&c.text, "compute_crc8(%d)", len);
    PLAIN_CALL(c, real_compute_crc8(buf, len));
}

EXPORT uint32_t compute_checksum32(const uint8_t *buf, int len)
{
    REAL(compute_checksum32);
    struct call c;
    call_begin(&c, NO_BYTES);
    putf(&c.text, "compute_checksum32(%d)", len);
    PLAIN_CALL(c, real_compute_checksum32(buf, len));
}

/* The tag functions show the header they were given: one byte to
 * get_tag_type, and to get_payload_length the header size that get_tag_size
 * last answered for the same header (the lookup asks type, size, length). */
static const uint8_t *g_tag_header;
static int g_tag_size = -1;

static void tag_text(struct call *c, const char *name, const uint8_t *hdr, size_t n)
{
    putf(&c->text, "%s([", name);
    if (hdr != NULL)
        put_hex(&c->text, hdr, n);
    put(&c->text, "])", 2);
}

EXPORT int get_tag_type(const uint8_t *hdr)
{
    REAL(get_tag_type);
    struct call c;
    call_begin(&c, NO_BYTES);
    tag_text(&c, "get_tag_type", hdr, 1);
    g_tag_header = hdr;
    g_tag_size = -1;
    PLAIN_CALL(c, real_get_tag_type(hdr));
}

EXPORT int get_tag_size(int type)
{
    REAL(get_tag_size);
    struct call c;
    int rc;
    call_begin(&c, NO_BYTES);
    putf(&c.text, "get_tag_size(%d)", type);
    if (replaying())
        rc = (int)replay_call(&c)->result;
    else {
        rc = real_get_tag_size(type);
        record(&c, rc, NULL, 0);
    }
    g_tag_size = rc;
    return rc;
}

EXPORT int get_payload_length(const uint8_t *hdr)
{
    REAL(get_payload_length);
    struct call c;
    call_begin(&c, NO_BYTES);
    tag_text(&c, "get_payload_length", hdr, hdr == g_tag_header && g_tag_size > 1 ? (size_t)g_tag_size : 1);
    PLAIN_CALL(c, real_get_payload_length(hdr));
}

EXPORT int ark_pwr_i2c_readpub_bl_budget(int handle, arkb_pwr_budget *budget)
{
    REAL(ark_pwr_i2c_readpub_bl_budget);
    struct call c;
    call_begin(&c, READ_BYTES);
    putf(&c.text, "ark_pwr_i2c_readpub_bl_budget(%d)", handle);
    if (replaying()) {
        const struct recorded *r = replay_call(&c);
        uint8_t b[4];
        if (budget != NULL && decode_hex(r->hex, b, 4) == 4) {
            budget->hwconfig_power = (uint16_t)(b[0] << 8 | b[1]);
            budget->permitted_power = (uint16_t)(b[2] << 8 | b[3]);
        }
        return (int)r->result;
    }
    int rc = real_ark_pwr_i2c_readpub_bl_budget(handle, budget);
    /* The record as the chassis holds it: two big-endian figures. */
    uint8_t b[4] = {0};
    if (budget != NULL) {
        b[0] = (uint8_t)(budget->hwconfig_power >> 8), b[1] = (uint8_t)budget->hwconfig_power;
        b[2] = (uint8_t)(budget->permitted_power >> 8), b[3] = (uint8_t)budget->permitted_power;
    }
    record(&c, rc, b, rc >= 0 && budget != NULL ? 4 : 0);
    return rc;
}

EXPORT int ark_pwr_i2c_publish(int handle, int hwconfig_power)
{
    REAL(ark_pwr_i2c_publish);
    struct call c;
    call_begin(&c, NO_BYTES);
    putf(&c.text, "ark_pwr_i2c_publish(%d, %d)", handle, hwconfig_power);
    PLAIN_CALL(c, real_ark_pwr_i2c_publish(handle, hwconfig_power));
}

EXPORT int ark_pwr_i2c_test(int handle)
{
    REAL(ark_pwr_i2c_test);
    struct call c;
    call_begin(&c, NO_BYTES);
    putf(&c.text, "ark_pwr_i2c_test(%d)", handle);
    PLAIN_CALL(c, real_ark_pwr_i2c_test(handle));
}

EXPORT int ssbcast_sensor_format(const uint8_t *id, char *key, int size, const char *prefix)
{
    /* Replayed too through the platform's own function for the key it
     * writes, which the trace does not hold; the result is the recorded one. */
    static __typeof__(&ssbcast_sensor_format) real;
    if (real == NULL)
        real = (__typeof__(&ssbcast_sensor_format))next_function("ssbcast_sensor_format");
    struct call c;
    call_begin(&c, NO_BYTES);
    put(&c.text, "ssbcast_sensor_format([", 23);
    if (id != NULL)
        put_hex(&c.text, id, 2);
    putf(&c.text, "], %d, ", size);
    put_quoted(&c.text, prefix);
    put(&c.text, ")", 1);
    if (replaying()) {
        const struct recorded *r = replay_call(&c);
        real(id, key, size, prefix);
        return (int)r->result;
    }
    int rc = real(id, key, size, prefix);
    record(&c, rc, NULL, 0);
    return rc;
}

EXPORT int sspoller_get_shared_sensor_reading(int sensor, int arg, int32_t *reading)
{
    REAL(sspoller_get_shared_sensor_reading);
    struct call c;
    call_begin(&c, NO_BYTES);
    putf(&c.text, "sspoller_get_shared_sensor_reading(%d, %d)", sensor, arg);
    if (replaying()) {
        const struct recorded *r = replay_call(&c);
        int found;
        long long v = shown_value(r, &found);
        if (found && reading != NULL)
            *reading = (int32_t)v;
        return (int)r->result;
    }
    int rc = real_sspoller_get_shared_sensor_reading(sensor, arg, reading);
    if (rc == 0 && reading != NULL)
        putf(&c.text, " -> %d", (int)*reading);
    record(&c, rc, NULL, 0);
    return rc;
}

EXPORT int32_t uptime(void)
{
    REAL(uptime);
    struct call c;
    call_begin(&c, NO_BYTES);
    put(&c.text, "uptime()", 8);
    PLAIN_CALL(c, real_uptime());
}
