/*
 * The wrapped platform functions' common steps (trace_calls_*.c): each
 * builds its call's text and then either replays it (from the trace) or
 * passes it on to the platform function and records it.
 */
#ifndef ARKB_TRACE_WRAP_H
#define ARKB_TRACE_WRAP_H

#include "arkb_outside.h"
#include "trace_internal.h"

#define REAL(name)                                                                                           \
    static __typeof__(&name) real_##name;                                                                    \
    if (real_##name == NULL && !replaying())                                                                 \
    real_##name = (__typeof__(&name))next_function(#name)

static inline size_t span(int len) { return len > 0 ? (size_t)len : 0; }

/* A read: replayed (result and bytes from the trace) or passed on. */
#define READ_CALL(c, call_expr, out, room, shown_expr)                                                       \
    do {                                                                                                     \
        if (replaying()) {                                                                                   \
            const struct trace_call *r_ = replay_call(&(c));                                                 \
            if ((out) != NULL)                                                                               \
                trace_decode_hex(r_->hex, (unsigned char *)(out), (room));                                   \
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

/* A platform function of one int, shown in its line, that moves no bytes. */
#define INT_FUNCTION(name)                                                                                   \
    EXPORT int name(int arg)                                                                                 \
    {                                                                                                        \
        REAL(name);                                                                                          \
        struct call c;                                                                                       \
        call_begin(&c, NO_BYTES);                                                                            \
        putf(&c.text, #name "(%d)", arg);                                                                    \
        PLAIN_CALL(c, real_##name(arg));                                                                     \
    }

#endif
