/*
 * One trace line, checked piece by piece: its stamp, a platform function
 * the trace library knows (or a step of the CMM exchange: connect, send,
 * recv, close), a result its function can return, and exactly the bytes
 * the call moves.
 */
#include "trace_line.h"

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#define MAX_DIGITS 19 /* of a 64-bit count */
#define MICRO_DIGITS 6
#define BY_RESULT (-1) /* a count of bytes: the call's result */

enum bytes_rule { NO_BYTES, READS, WRITES };
enum when {
    ALWAYS,
    RESULT_IS_1,   /* memstore_get */
    RESULT_NOT_M1, /* arkmp_read: only exactly -1 is a failure */
    RESULT_NONNEG,
    RESULT_ZERO,
    RESULT_M1, /* the socket calls: -1, with errno */
};

/* What a function's line holds: the bytes it moves (`count` of them, or the
 * argument `len_arg` counted from the end, or both: 1 byte when that
 * argument is at least 1; BY_RESULT: as many as the result says, at most
 * that argument), when it moves them, the range of its result and the
 * value it shows after " -> " (after the word `shown_word`). */
struct function_rule {
    const char *name;
    enum bytes_rule bytes;
    int len_arg;
    int count;
    enum when moved;
    long long lo, hi;
    enum when shown; /* ALWAYS: shows none */
    long long shown_lo, shown_hi;
    const char *shown_word;
};

#define INT_RANGE INT32_MIN, INT32_MAX
#define NOT_SHOWN ALWAYS, 0, 0, ""
#define ERRNO_SHOWN RESULT_M1, 1, 4095, "errno "

static const struct function_rule g_rules[] = {
    {"memstore_get", READS, 1, 0, RESULT_IS_1, INT_RANGE, NOT_SHOWN},
    {"memstore_set", WRITES, 1, 0, ALWAYS, INT_RANGE, NOT_SHOWN},
    {"memstore_haskey", NO_BYTES, 0, 0, ALWAYS, INT_RANGE, NOT_SHOWN},
    {"arkmp_read_slotid", READS, 0, 1, RESULT_NONNEG, INT_RANGE, NOT_SHOWN},
    {"arkmp_read", READS, 1, 1, RESULT_NOT_M1, INT_RANGE, NOT_SHOWN},
    {"arkmp_write", WRITES, 1, 0, ALWAYS, INT_RANGE, NOT_SHOWN},
    {"arkmp_writeread", READS, 1, 0, RESULT_NONNEG, INT_RANGE, NOT_SHOWN},
    {"arkmp_tunneling_init", NO_BYTES, 0, 0, ALWAYS, INT_RANGE, NOT_SHOWN},
    {"arkmp_tnlblk_read", READS, 4, 0, RESULT_NONNEG, INT_RANGE, NOT_SHOWN},
    {"arkmp_tnlblk_write", WRITES, 4, 0, ALWAYS, INT_RANGE, NOT_SHOWN},
    {"arkmp_tnlblk_write_fromfile", NO_BYTES, 0, 0, ALWAYS, INT_RANGE, NOT_SHOWN},
    {"elm_i2c_blk_read_on_bus", READS, 4, 0, RESULT_NONNEG, INT_RANGE, NOT_SHOWN},
    {"elm_i2c_blk_write_on_bus", WRITES, 4, 0, ALWAYS, INT_RANGE, NOT_SHOWN},
    {"pca_read_i2c_blade_dt", NO_BYTES, 0, 0, ALWAYS, INT_RANGE, RESULT_NONNEG, 0, UINT32_MAX, ""},
    {"compute_crc8", NO_BYTES, 0, 0, ALWAYS, 0, UINT8_MAX, NOT_SHOWN},
    {"compute_checksum32", NO_BYTES, 0, 0, ALWAYS, 0, UINT32_MAX, NOT_SHOWN},
    {"get_tag_type", NO_BYTES, 0, 0, ALWAYS, INT_RANGE, NOT_SHOWN},
    {"get_tag_size", NO_BYTES, 0, 0, ALWAYS, INT_RANGE, NOT_SHOWN},
    {"get_payload_length", NO_BYTES, 0, 0, ALWAYS, INT_RANGE, NOT_SHOWN},
    {"ark_pwr_i2c_readpub_bl_budget", READS, 0, 4, RESULT_NONNEG, INT_RANGE, NOT_SHOWN},
    {"ark_pwr_i2c_publish", NO_BYTES, 0, 0, ALWAYS, INT_RANGE, NOT_SHOWN},
    {"ark_pwr_i2c_test", NO_BYTES, 0, 0, ALWAYS, INT_RANGE, NOT_SHOWN},
    {"ssbcast_sensor_format", NO_BYTES, 0, 0, ALWAYS, INT_RANGE, NOT_SHOWN},
    {"sspoller_get_shared_sensor_reading", NO_BYTES, 0, 0, ALWAYS, INT_RANGE, RESULT_ZERO, INT_RANGE, ""},
    {"uptime", NO_BYTES, 0, 0, ALWAYS, INT_RANGE, NOT_SHOWN},
    /* The CMM power request's exchange over its TCP socket. */
    {"connect", NO_BYTES, 0, 0, ALWAYS, -1, 0, ERRNO_SHOWN},
    {"send", WRITES, 2, 0, ALWAYS, -1, INT32_MAX, ERRNO_SHOWN},
    {"recv", READS, 2, BY_RESULT, RESULT_NONNEG, -1, INT32_MAX, ERRNO_SHOWN},
    {"close", NO_BYTES, 0, 0, ALWAYS, -1, 0, ERRNO_SHOWN},
};

int trace_refuse(int result, char *err, size_t size, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(err, size, fmt, ap);
    va_end(ap);
    return result;
}

#define refuse(...) trace_refuse(0, __VA_ARGS__)

/* Decimal digits alone, at most MAX_DIGITS of them, no more than `max`. */
static int unsigned_value(const char *p, size_t n, unsigned long long max, unsigned long long *v)
{
    unsigned long long x = 0;
    if (n == 0 || n > MAX_DIGITS)
        return 0;
    for (size_t i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9')
            return 0;
        x = x * 10 + (unsigned long long)(p[i] - '0');
    }
    *v = x;
    return x <= max;
}

/* An optional '-' and digits, in [lo, hi]. */
static int signed_value(const char *p, size_t n, long long lo, long long hi, long long *v)
{
    int minus = n > 0 && p[0] == '-';
    unsigned long long x;
    if (!unsigned_value(p + minus, n - (size_t)minus, (unsigned long long)INT64_MAX, &x))
        return 0;
    *v = minus ? -(long long)x : (long long)x;
    return *v >= lo && *v <= hi;
}

static const char *find_last(const char *p, size_t n, const char *what)
{
    size_t w = strlen(what);
    for (size_t i = n; i >= w; --i)
        if (memcmp(p + i - w, what, w) == 0)
            return p + i - w;
    return NULL;
}

/* "<sec>.<usec>" as microseconds; `sec` gets the seconds. */
static int wall_value(const char *p, size_t n, long long *us, long long *sec)
{
    const char *dot = memchr(p, '.', n);
    unsigned long long s, u;
    if (dot == NULL || (size_t)(p + n - dot - 1) != MICRO_DIGITS ||
        !unsigned_value(p, (size_t)(dot - p), INT64_MAX / 1000000 - 1, &s) ||
        !unsigned_value(dot + 1, MICRO_DIGITS, 999999, &u))
        return 0;
    *us = (long long)(s * 1000000 + u);
    if (sec != NULL)
        *sec = (long long)s;
    return 1;
}

/* A part of the stamp after a ','; which of ppid, start, thread it gave. */
static int stamp_part(const char *p, size_t n, struct trace_line *l, int *given)
{
    unsigned long long v;
    if (n > 5 && memcmp(p, "ppid=", 5) == 0 && unsigned_value(p + 5, n - 5, INT32_MAX, &v)) {
        l->ppid = (long)v, *given |= 1;
        return 1;
    }
    if (n > 6 && memcmp(p, "start=", 6) == 0 && wall_value(p + 6, n - 6, &l->start_us, NULL)) {
        *given |= 2;
        return 1;
    }
    if (n > 7 && memcmp(p, "thread=", 7) == 0 && unsigned_value(p + 7, n - 7, INT32_MAX, &v) && v > 0) {
        l->thread = (long)v, *given |= 4;
        return 1;
    }
    /* A journal's own parts: the modelled bus time, the kernel thread id of a
     * call from another thread than the main one, and a fault rule. */
    if (n > 4 && memcmp(p, "bus=", 4) == 0 && unsigned_value(p + 4, n - 4, UINT64_MAX, &v))
        return 1;
    if (n > 4 && memcmp(p, "tid=", 4) == 0 && unsigned_value(p + 4, n - 4, INT32_MAX, &v))
        return 1;
    return n > 6 && memcmp(p, "fault=", 6) == 0;
}

static int parse_stamp(const char *w, size_t n, struct trace_line *l, char *err, size_t size)
{
    const char *comma = memchr(w, ',', n);
    size_t first = comma != NULL ? (size_t)(comma - w) : n;
    const char *at = memchr(w, '@', first);
    size_t pid_len = at != NULL ? (size_t)(at - w) : first;
    unsigned long long pid;
    long long us;
    if (!unsigned_value(w, pid_len, INT32_MAX, &pid))
        return refuse(err, size, "the stamp '%.*s' does not begin with a process id", (int)(n > 40 ? 40 : n),
                      w);
    l->pid = (long)pid;
    if (at != NULL && !wall_value(at + 1, first - pid_len - 1, &us, &l->wall))
        return refuse(err, size, "the stamp's time '%.*s' is not <seconds>.<6 digits>",
                      (int)(first - pid_len - 1 > 40 ? 40 : first - pid_len - 1), at + 1);
    int given = 0;
    for (const char *p = comma; p != NULL;) {
        const char *next = memchr(p + 1, ',', (size_t)(w + n - p - 1));
        size_t len = (size_t)((next != NULL ? next : w + n) - p - 1);
        if (!stamp_part(p + 1, len, l, &given))
            return refuse(err, size,
                          "the stamp's part '%.*s' is none of ppid=, start=, thread=, bus=, tid=, fault=",
                          (int)(len > 40 ? 40 : len), p + 1);
        p = next;
    }
    if (given != 0 && given != 7)
        return refuse(err, size, "the stamp gives some of ppid=, start= and thread= but not all three");
    l->has_process = given == 7;
    return 1;
}

/* The text after `p` (n bytes), for a message. */
#define SHOWN(p, n) (int)((n) > 40 ? 40 : (n)), (p)

/* "aa bb ...": the count of bytes, or -1 with the reason. */
static long count_hex(const char *p, size_t n, char *err, size_t size)
{
    long count = 0;
    for (size_t i = 0;; i += 3) {
        int ok = i + 2 <= n;
        for (size_t k = 0; ok && k < 2; ++k) {
            char c = p[i + k];
            ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        }
        if (!ok || (i + 2 < n && p[i + 2] != ' ')) {
            size_t left = n - (i < n ? i : n);
            refuse(err, size, "byte %ld of the bytes is not two hex digits: '%.*s'", count + 1,
                   SHOWN(p + (i < n ? i : n), left > 2 ? 2 : left));
            return -1;
        }
        ++count;
        if (i + 2 == n)
            return count;
    }
}

static int holds(enum when w, long long rc)
{
    switch (w) {
    case RESULT_IS_1: return rc == 1;
    case RESULT_NOT_M1: return rc != -1;
    case RESULT_NONNEG: return rc >= 0;
    case RESULT_ZERO: return rc == 0;
    case RESULT_M1: return rc == -1;
    default: return 1;
    }
}

/* The argument `k`, counted from the end, of "a, b, c". */
static int argument_from_end(const char *args, size_t n, int k, long long *v)
{
    const char *end = args + n;
    for (int i = 1;; ++i) {
        const char *sep = find_last(args, (size_t)(end - args), ", ");
        const char *start = sep != NULL ? sep + 2 : args;
        if (i == k)
            return signed_value(start, (size_t)(end - start), INT32_MIN, UINT32_MAX, v);
        if (sep == NULL)
            return 0;
        end = sep;
    }
}

/* The call's function, its arguments and what it shows after " -> ". */
static const struct function_rule *parse_call(struct trace_line *l, const char **args, size_t *args_len,
                                              char *err, size_t size)
{
    const char *p = l->call, *open = memchr(p, '(', l->call_len);
    const struct function_rule *rule = NULL;
    for (size_t i = 0; open != NULL && i < sizeof g_rules / sizeof g_rules[0]; ++i)
        if (strlen(g_rules[i].name) == (size_t)(open - p) &&
            memcmp(g_rules[i].name, p, (size_t)(open - p)) == 0)
            rule = &g_rules[i];
    if (rule == NULL) {
        size_t name = open != NULL ? (size_t)(open - p) : l->call_len;
        refuse(err, size, "'%.*s' is no platform call the trace library knows", SHOWN(p, name));
        return NULL;
    }
    const char *arrow = find_last(p, l->call_len, ") -> ");
    if (rule->shown != ALWAYS && arrow != NULL) {
        const char *v = arrow + 5;
        const size_t n = (size_t)(p + l->call_len - v), word = strlen(rule->shown_word);
        if (n < word || memcmp(v, rule->shown_word, word) != 0 ||
            !signed_value(v + word, n - word, rule->shown_lo, rule->shown_hi, &l->shown)) {
            refuse(err, size, "the value shown after '->' is not %s its call gives: '%.*s'",
                   word > 0 ? "an 'errno <number>'" : "a number", SHOWN(v, n));
            return NULL;
        }
        l->has_shown = 1;
        l->call_len = (size_t)(arrow + 1 - p);
    }
    if (p[l->call_len - 1] != ')') {
        refuse(err, size, "the call '%.*s' does not end with ')'", SHOWN(p, l->call_len));
        return NULL;
    }
    *args = open + 1;
    *args_len = (size_t)(p + l->call_len - 1 - *args);
    return rule;
}

/* The bytes the call moves, against those the line shows. */
static int check_bytes(const struct function_rule *rule, const struct trace_line *l, const char *args,
                       size_t args_len, char *err, size_t size)
{
    long long len = 0, want = 0;
    if (rule->len_arg != 0 && !argument_from_end(args, args_len, rule->len_arg, &len))
        return refuse(err, size, "the call's length argument is not a number");
    if (rule->count == BY_RESULT && l->result > len)
        return refuse(err, size, "the call gives %lld bytes, more than the %lld it asks for", l->result, len);
    if (rule->bytes != NO_BYTES && holds(rule->moved, l->result)) {
        if (rule->count == BY_RESULT)
            want = l->result;
        else if (rule->count != 0)
            want = rule->len_arg == 0 || len >= 1 ? rule->count : 0;
        else
            want = len > 0 ? len : 0;
    }
    long have = 0;
    if (l->hex_len > 0 && (have = count_hex(l->hex, l->hex_len, err, size)) < 0)
        return 0;
    if (have != want)
        return refuse(err, size, "the line shows %ld bytes where its call %s %lld", have,
                      rule->bytes == WRITES ? "writes" : "reads", want);
    return 1;
}

int trace_parse_line(const char *s, size_t n, struct trace_line *l, char *err, size_t size)
{
    memset(l, 0, sizeof *l);
    l->ppid = -1, l->start_us = -1, l->wall = -1;
    if (memchr(s, '\0', n) != NULL)
        return refuse(err, size, "the line holds a NUL byte");
    const char *space = memchr(s, ' ', n);
    size_t word = space != NULL ? (size_t)(space - s) : n;
    /* `arksim journal` prints "HH:MM:SS.mmm  <pid>  <call> ..." */
    if ((word == 12 && s[2] == ':' && s[5] == ':') || (n >= 9 && memcmp(s, "(no time)", 9) == 0))
        return refuse(err, size,
                      "this is `arksim journal` output, not a trace: give the blade's journal file "
                      "itself (CHASSIS/blades/NAME/journal) or a trace the trace library wrote");
    if (space == NULL)
        return refuse(err, size, "not a trace line (no call after the stamp)");
    if (!parse_stamp(s, word, l, err, size))
        return 0;
    l->rest = space + 1;
    l->rest_len = n - word - 1;
    const char *eq = find_last(l->rest, l->rest_len, " = ");
    if (eq == NULL)
        return refuse(err, size, "no ' = <result>' after the call (a line cut short?)");
    l->call = l->rest;
    l->call_len = (size_t)(eq - l->rest);
    const char *end = s + n, *r = eq + 3, *p = r;
    while (p < end && *p != ' ')
        ++p;
    const char *args;
    size_t args_len;
    const struct function_rule *rule = l->call_len > 0 ? parse_call(l, &args, &args_len, err, size) : NULL;
    if (rule == NULL)
        return l->call_len > 0 ? 0 : refuse(err, size, "no call before ' = '");
    if (!signed_value(r, (size_t)(p - r), rule->lo, rule->hi, &l->result))
        return refuse(err, size, "the result '%.*s' is not a number %.*s can return",
                      SHOWN(r, (size_t)(p - r)), (int)strlen(rule->name), rule->name);
    if (rule->shown != ALWAYS && l->has_shown != holds(rule->shown, l->result))
        return refuse(err, size,
                      l->has_shown ? "a value is shown after '->' where the call's result gives none"
                                   : "the value the call's result gives is not shown after '->'");
    /* The answer mode's mark of a journal line: " <edge: 0>". */
    if (end - p > 2 && memcmp(p, " <", 2) == 0) {
        const char *close = memchr(p, '>', (size_t)(end - p));
        if (close == NULL)
            return refuse(err, size, "the mark after the result has no '>'");
        p = close + 1;
    }
    if (p < end) {
        if (end - p < 4 || memcmp(p, " : ", 3) != 0)
            return refuse(err, size, "after the result comes '%.*s', not ' : <bytes>'",
                          SHOWN(p, (size_t)(end - p)));
        l->hex = p + 3;
        l->hex_len = (size_t)(end - p - 3);
    }
    return check_bytes(rule, l, args, args_len, err, size);
}
