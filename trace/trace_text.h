/*
 * A growing text buffer, for the trace library's lines and reports.
 */
#ifndef ARKB_TRACE_TEXT_H
#define ARKB_TRACE_TEXT_H

#include <stddef.h>
#include <stdint.h>

struct text {
    char *p;
    size_t n, cap;
};

void put(struct text *t, const char *s, size_t n);
void putf(struct text *t, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
/* "aa bb cc" */
void put_hex(struct text *t, const uint8_t *b, size_t n);
/* "\"s\"", "(null)" for NULL */
void put_quoted(struct text *t, const char *s);

#endif
