/*
 * The replay's report (ARKB_REPLAY_REPORT): lines appended by every
 * replaying process, each in one write, so that several processes' lines
 * never mix.  A divergence is a block: "diverged <pid>", then what a person
 * reads, the call's position and what was recorded and what came, with
 * byte runs cut to their first 16 bytes and their count, and the first byte
 * that differs.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "trace_internal.h"

#define SHORT_BYTES 16

void report_line(const char *report, const char *line)
{
    int fd = report != NULL ? open(report, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600) : -1;
    if (fd < 0) {
        fprintf(stderr, "libarkblade-trace: %s", line);
        return;
    }
    for (size_t done = 0, n = strlen(line); done < n;) {
        ssize_t w = write(fd, line + done, n - done);
        if (w < 0 && errno == EINTR)
            continue;
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
        if (n > SHORT_BYTES)
            putf(r, "%.47s ... (%zu bytes)", bytes + 3, n);
        else
            put(r, bytes + 3, strlen(bytes + 3));
    }
    put(r, "\n", 1);
}

/* The first byte where two "aa bb" runs differ. */
static void put_difference(struct text *r, const char *recorded, const char *came)
{
    const char *a = strstr(recorded, " : "), *b = strstr(came, " : ");
    if (a == NULL || b == NULL)
        return;
    a += 3, b += 3;
    size_t i = 0;
    while (a[0] != '\0' && a[1] != '\0' && a[0] == b[0] && a[1] == b[1]) {
        ++i;
        a += a[2] == ' ' ? 3 : 2;
        b += b[2] == ' ' ? 3 : 2;
    }
    putf(r, "  first difference at byte %zu: recorded %.2s, came %.2s\n", i, a[0] ? a : "--",
         b[0] ? b : "--");
}

void report_divergence(const char *report, const struct divergence *d)
{
    struct text r = {0};
    putf(&r, "diverged %ld\n", (long)getpid());
    if (d->position == 0)
        putf(&r, "divergence %s(%s)\n", d->where, d->what);
    else
        putf(&r, "divergence %sat call %zu of %zu (%s)\n", d->where, d->position, d->of, d->what);
    put_short(&r, "recorded:", d->recorded != NULL ? d->recorded : "(no more calls)");
    put_short(&r, "came:    ", d->came != NULL ? d->came : "(the program ended)");
    if (d->recorded != NULL && d->came != NULL)
        put_difference(&r, d->recorded, d->came);
    if (d->note != NULL)
        putf(&r, "  (%s)\n", d->note);
    report_line(report, r.p);
    free(r.p);
}
