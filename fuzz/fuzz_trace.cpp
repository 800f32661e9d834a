// The trace reader (trace/trace_read.c, trace_line.c) over any bytes: a
// whole trace checked and grouped by process and thread.  A trace it takes
// must hold together: every call in exactly one thread of its process, in
// order, and every call's bytes decoding in full.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "trace_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    trace t;
    char err[TRACE_ERROR_SIZE];
    if (trace_parse(reinterpret_cast<const char *>(data), size, &t, err, sizeof err) != 0) {
        if (std::strlen(err) == 0)
            __builtin_trap();  // a refusal always says why
        return 0;
    }
    std::size_t grouped = 0;
    for (std::size_t p = 0; p < t.process_count; ++p)
        for (std::size_t k = 0; k < t.processes[p].thread_count; ++k) {
            const trace_thread &th = t.processes[p].threads[k];
            for (std::size_t i = 0; i < th.count; ++i)
                if (th.calls[i] >= t.count || t.calls[th.calls[i]].process != p ||
                    t.calls[th.calls[i]].thread != k || (i > 0 && th.calls[i] <= th.calls[i - 1]))
                    __builtin_trap();
            grouped += th.count;
        }
    if (grouped != t.count)
        __builtin_trap();
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i < t.count; ++i) {
        const std::size_t n = (std::strlen(t.calls[i].hex) + 1) / 3;
        bytes.resize(n);
        if (trace_decode_hex(t.calls[i].hex, bytes.data(), n) != n)
            __builtin_trap();
    }
    trace_free(&t);
    return 0;
}
