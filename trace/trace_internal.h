/*
 * Inside the trace library (libarkblade-trace.so.1): what the wrapped
 * platform functions (trace_calls*.c) share with the recording
 * (trace_record.c) and the replay (trace_replay.c, trace_report.c).
 */
#ifndef ARKB_TRACE_INTERNAL_H
#define ARKB_TRACE_INTERNAL_H

#include <stddef.h>
#include <stdint.h>

#include "trace_read.h"
#include "trace_text.h"

#define ARKB_REPLAY_DIVERGED 86
#define EXPORT __attribute__((visibility("default")))

enum bytes_kind { NO_BYTES, READ_BYTES, WRITE_BYTES };

/* One call as it came: its text ("memstore_get(\"slotid\", 1)") and, for a
 * write, the bytes the caller handed over. */
struct call {
    struct text text;
    enum bytes_kind kind;
    const uint8_t *bytes;
    size_t length;
};

void call_begin(struct call *c, enum bytes_kind kind);

/* The platform function behind this library's one; stops the process when
 * no platform library has it. */
void *next_function(const char *name);

/* Appends the call's line to ARKB_TRACE with its result and the `shown`
 * bytes it moved; frees the call's text. */
void record(struct call *c, long long result, const uint8_t *bytes, size_t shown);

/* Whether this process answers its calls from ARKB_REPLAY (loaded, and
 * checked whole, at the first call). */
int replaying(void);

/* The recorded call this one is, checked against it (its text, for a write
 * its bytes); at a difference the process ends with a report.  Frees the
 * call's text. */
const struct trace_call *replay_call(struct call *c);

/* Replays a call that gives a 32-bit value through `out` and shows it after
 * " -> " in its line; its recorded result. */
int replay_shown(struct call *c, void *out);

/* The report of a divergence, appended to the replay's report as one
 * block, "diverged <pid>" first (trace_report.c). */
struct divergence {
    const char *what;     /* "another call or other arguments" */
    const char *where;    /* "in process 2 of 2 (recorded pid 812) ", or "" */
    size_t position, of;  /* the call's position in its thread, from 1 */
    const char *recorded; /* the recorded line, NULL: none */
    const char *came;     /* the call that came, NULL: the program ended */
    const char *note;     /* what the trace cannot tell, NULL: nothing */
};
void report_divergence(const char *report, const struct divergence *d);

/* Appends `line` to the report in one write. */
void report_line(const char *report, const char *line);

#endif
