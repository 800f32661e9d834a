/*
 * A growing text buffer (trace_text.h).  Out of memory, the process stops:
 * a trace with a line missing would be worse than none.
 */
#include "trace_text.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define FIRST_ROOM 256

static void grow(struct text *t, size_t more)
{
    if (t->n + more + 1 <= t->cap)
        return;
    size_t cap = t->cap ? t->cap : FIRST_ROOM;
    while (cap < t->n + more + 1)
        cap *= 2;
    char *p = realloc(t->p, cap);
    if (p == NULL)
        abort();
    t->p = p;
    t->cap = cap;
}

void put(struct text *t, const char *s, size_t n)
{
    grow(t, n);
    memcpy(t->p + t->n, s, n);
    t->n += n;
    t->p[t->n] = '\0';
}

void putf(struct text *t, const char *fmt, ...)
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

void put_hex(struct text *t, const uint8_t *b, size_t n)
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

void put_quoted(struct text *t, const char *s) { putf(t, "\"%s\"", s != NULL ? s : "(null)"); }
