/*
 * The CMM power request's exchange, traced or replayed: connect, send, recv
 * and close of an IPv4 socket whose connect targets port 880, the CMM's
 * power service.  Such a socket is known by its fd from that connect to its
 * close; every other socket and fd passes straight through, untraced (the
 * system log's socket, the trace library's own files).  Replayed, none of
 * these calls reaches the network: connect answers the recorded result and
 * errno without connecting, send checks its bytes against the recorded ones,
 * recv hands over the recorded reply, and close closes the socket (which
 * the program opened itself, unconnected).
 *
 *   connect("169.254.10.1", 880) = 0
 *   connect("169.254.10.1", 880) -> errno 111 = -1
 *   send(9, 0) = 9 : 50 57 52 20 31 30 30 0a 00
 *   recv(100, 0) = 3 : 4e 4f 00
 *   close() = 0
 */
/* Its own definitions of recv and the like, not the C library's inline
 * checking ones. */
#undef _FORTIFY_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <limits.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include "trace_internal.h"

#define CMM_PORT 880
#define MAX_OPEN 64 /* CMM sockets open at once in one process */

/* The C library's checking recv, which a program built with _FORTIFY_SOURCE
 * calls instead of recv. */
ssize_t __recv_chk(int fd, void *buf, size_t len, size_t room, int flags);

/* The C library's functions behind these, whether recording or replaying:
 * the calls on other fds are passed on either way.  Found when the library
 * is loaded, so that a close() in a signal handler or a vfork() child never
 * waits for the dynamic loader (and again should a call come before that). */
static struct {
    __typeof__(&connect) connect;
    __typeof__(&send) send;
    __typeof__(&recv) recv;
    __typeof__(&__recv_chk) recv_chk;
    __typeof__(&close) close;
} next;

__attribute__((constructor)) static void find_next(void)
{
    if (__atomic_load_n(&next.close, __ATOMIC_ACQUIRE) != NULL)
        return;
    next.connect = (__typeof__(next.connect))next_function("connect");
    next.send = (__typeof__(next.send))next_function("send");
    next.recv = (__typeof__(next.recv))next_function("recv");
    next.recv_chk = (__typeof__(next.recv_chk))next_function("__recv_chk");
    __atomic_store_n(&next.close, (__typeof__(next.close))next_function("close"), __ATOMIC_RELEASE);
}

/* fd + 1 of each CMM socket open, 0 a free place.  Atomics, not a lock, so
 * that a fork never leaves the child a held one. */
static int g_open[MAX_OPEN];

static int place_of(int fd)
{
    for (int i = 0; fd >= 0 && fd < INT_MAX && i < MAX_OPEN; ++i)
        if (__atomic_load_n(&g_open[i], __ATOMIC_ACQUIRE) == fd + 1)
            return i;
    return -1;
}

static int is_cmm(int fd) { return place_of(fd) >= 0; }

/* More than MAX_OPEN at once: the others go untraced. */
static void track(int fd)
{
    for (int i = 0; fd >= 0 && fd < INT_MAX && !is_cmm(fd) && i < MAX_OPEN; ++i) {
        int free_place = 0;
        if (__atomic_compare_exchange_n(&g_open[i], &free_place, fd + 1, 0, __ATOMIC_ACQ_REL,
                                        __ATOMIC_ACQUIRE))
            return;
    }
}

static void untrack(int fd)
{
    const int i = place_of(fd);
    if (i >= 0)
        __atomic_store_n(&g_open[i], 0, __ATOMIC_RELEASE);
}

/* Records the call with errno, shown for a failure; errno as the call
 * left it. */
static long long recorded(struct call *c, long long rc, int err, const void *bytes, size_t n)
{
    if (rc == -1)
        putf(&c->text, " -> errno %d", err);
    record(c, rc, bytes, n);
    errno = err;
    return rc;
}

/* The recorded call, errno set for a failure. */
static const struct trace_call *replayed(struct call *c)
{
    const struct trace_call *r = replay_call(c);
    if (r->result == -1)
        errno = (int)r->shown;
    return r;
}

EXPORT int connect(int fd, const struct sockaddr *addr, socklen_t len)
{
    find_next();
    const struct sockaddr_in *in = (const struct sockaddr_in *)(const void *)addr;
    if (addr == NULL || len < sizeof *in || addr->sa_family != AF_INET || ntohs(in->sin_port) != CMM_PORT)
        return next.connect(fd, addr, len);
    char ip[INET_ADDRSTRLEN];
    struct call c;
    call_begin(&c, NO_BYTES);
    put(&c.text, "connect(", 8);
    put_quoted(&c.text, inet_ntop(AF_INET, &in->sin_addr, ip, sizeof ip));
    putf(&c.text, ", %d)", CMM_PORT);
    /* Its close is traced whatever the connect gave. */
    track(fd);
    if (replaying())
        return (int)replayed(&c)->result;
    const int rc = next.connect(fd, addr, len);
    return (int)recorded(&c, rc, errno, NULL, 0);
}

EXPORT ssize_t send(int fd, const void *buf, size_t len, int flags)
{
    find_next();
    if (!is_cmm(fd))
        return next.send(fd, buf, len, flags);
    struct call c;
    call_begin(&c, WRITE_BYTES);
    putf(&c.text, "send(%zu, %d)", len, flags);
    c.bytes = buf;
    c.length = buf != NULL ? len : 0;
    if (replaying())
        return (ssize_t)replayed(&c)->result;
    const ssize_t rc = next.send(fd, buf, len, flags);
    return (ssize_t)recorded(&c, rc, errno, c.bytes, c.length);
}

/* recv's line, after the real call (`rc`, `err`) or replayed. */
static ssize_t cmm_recv(void *buf, size_t len, int flags, ssize_t rc, int err)
{
    struct call c;
    call_begin(&c, READ_BYTES);
    putf(&c.text, "recv(%zu, %d)", len, flags);
    if (replaying()) {
        const struct trace_call *r = replayed(&c);
        if (buf != NULL)
            trace_decode_hex(r->hex, buf, len);
        return (ssize_t)r->result;
    }
    return (ssize_t)recorded(&c, rc, err, buf, rc > 0 && buf != NULL ? (size_t)rc : 0);
}

EXPORT ssize_t recv(int fd, void *buf, size_t len, int flags)
{
    find_next();
    if (!is_cmm(fd))
        return next.recv(fd, buf, len, flags);
    const ssize_t rc = replaying() ? 0 : next.recv(fd, buf, len, flags);
    return cmm_recv(buf, len, flags, rc, errno);
}

EXPORT ssize_t __recv_chk(int fd, void *buf, size_t len, size_t room, int flags)
{
    find_next();
    if (!is_cmm(fd))
        return next.recv_chk(fd, buf, len, room, flags);
    if (len > room && replaying())
        abort(); /* as the C library's check would */
    const ssize_t rc = replaying() ? 0 : next.recv_chk(fd, buf, len, room, flags);
    return cmm_recv(buf, len, flags, rc, errno);
}

EXPORT int close(int fd)
{
    find_next();
    if (!is_cmm(fd))
        return next.close(fd);
    untrack(fd);
    const int rc = next.close(fd), err = errno;
    struct call c;
    call_begin(&c, NO_BYTES);
    put(&c.text, "close()", 7);
    if (replaying())
        return (int)replayed(&c)->result;
    return (int)recorded(&c, rc, err, NULL, 0);
}
