/*
 * One line of a trace, checked (trace_line.c); the line's grammar is in
 * trace_read.h.  The pieces point into the line read.
 */
#ifndef ARKB_TRACE_LINE_H
#define ARKB_TRACE_LINE_H

#include <stddef.h>

struct trace_line {
    long pid, ppid;     /* ppid -1 without */
    long long start_us; /* -1 without */
    long thread;        /* 0 without */
    int has_process;    /* ppid, start and thread were given */
    long long wall;     /* -1 without */
    const char *rest;   /* the line after its stamp */
    size_t rest_len;
    const char *call; /* the call without " -> V" */
    size_t call_len;
    const char *hex; /* the bytes, hex_len 0 when none */
    size_t hex_len;
    long long result, shown;
    int has_shown;
};

/* Checks the `n` bytes of a line (without its line end).  1 when it is a
 * trace line; 0 with what is wrong in `err`. */
/* Writes the reason for a refusal into err (size bytes) and returns result:
 * what the reader's functions end with when the input is bad. */
int trace_refuse(int result, char *err, size_t size, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));
int trace_parse_line(const char *s, size_t n, struct trace_line *out, char *err, size_t err_size);

#endif
