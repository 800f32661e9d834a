/*
 * Reading a trace of platform calls (libarkblade-trace.so.1 with ARKB_TRACE,
 * or a blade's journal), strictly: a line that is not a whole trace line is
 * refused with its number and what is wrong, never skipped.  Shared by the
 * trace library's replay, by `arksim replay` (which checks a trace before it
 * runs anything) and by the fuzz target.  Plain C over libc.
 *
 * A line:
 *
 *   <pid>@<sec>.<usec>[,ppid=<ppid>,start=<sec>.<usec>,thread=<n>][,bus=<ns>][,fault=<rule>]
 *       <call> = <result>[ <MODE: PLAIN>][ : <hex bytes>]
 *
 * ppid, start (when the process made its first traced call) and thread (1
 * for a process's first thread to make a platform call, 2 for the next, ...)
 * are written by the trace library; a journal's lines, and traces of older
 * libraries, have none and read as one process of one thread.  A trace has
 * them on every line or on none.  The bytes are those the call moves, all of
 * them, exactly as many as its arguments and result say.
 *
 * Besides the platform calls, the trace library writes the CMM power
 * request's exchange over its socket: connect("<address>", 880), send(<len>,
 * <flags>) with the bytes sent, recv(<len>, <flags>) with the bytes received
 * (as many as its result), close(); a failed one shows its errno, as in
 * `connect("169.254.10.1", 880) -> errno 111 = -1`.  A journal has no such
 * lines.
 */
#ifndef ARKB_TRACE_READ_H
#define ARKB_TRACE_READ_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TRACE_MAX_LINE (256u * 1024u)         /* bytes of one line, its end aside */
#define TRACE_MAX_FILE (128u * 1024u * 1024u) /* bytes of a whole trace */
#define TRACE_ERROR_SIZE 512

struct trace_call {
    long long wall;   /* the stamp's seconds, -1 when it has none */
    long long result; /* the call's result */
    long long shown;  /* the value after " -> " (has_shown) */
    int has_shown;
    char *call;     /* "memstore_get(\"slotid\", 1)", without the " -> V" it shows */
    char *hex;      /* "03 00", "" when none */
    char *line;     /* the line after its stamp, for reports */
    size_t process; /* index into trace.processes */
    size_t thread;  /* index into that process's threads */
};

/* One thread's calls, in recorded order: indexes into trace.calls. */
struct trace_thread {
    size_t *calls;
    size_t count;
};

struct trace_process {
    long pid, ppid;
    long long start_us; /* its first traced call, -1 without */
    long parent;        /* index of the recorded parent process, -1: none */
    struct trace_thread *threads;
    size_t thread_count;
    size_t calls; /* over all its threads */
};

struct trace {
    struct trace_call *calls;
    size_t count;
    struct trace_process *processes; /* in the order of their first call */
    size_t process_count;
    int has_processes; /* the lines carry ppid, start and thread */
};

/* Reads the regular file `path` (refusing anything else at once, and files
 * over TRACE_MAX_FILE) into `t`.  0 when it is a whole trace; -1 with the
 * reason in `err` ("line 3: ..."), `t` then empty. */
int trace_load(const char *path, struct trace *t, char *err, size_t err_size);

/* The same over bytes in memory. */
int trace_parse(const char *data, size_t size, struct trace *t, char *err, size_t err_size);

void trace_free(struct trace *t);

/* Reads "aa bb" into at most `room` bytes; the count read (the trace is
 * checked, so it is all of them unless `room` is smaller). */
size_t trace_decode_hex(const char *hex, unsigned char *out, size_t room);

#ifdef __cplusplus
}
#endif

#endif
