// libmemstore.so.1 stand-in: the SP's key-value store, one file per key in
// <sp>/memstore.  A get whose length differs from the stored value's length
// answers 0, so a wrong-length read is caught instead of silently truncated.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/bus_time.h"
#include "core/answers.h"
#include "core/simstate.h"
#include "core/unique_fd.h"
#include "arkb_outside.h"

using namespace arksim;

namespace {

std::string key_path(const char *key) { return sp_path("memstore/") + encode_key(key); }

std::span<const uint8_t> bytes_of(const void *p, int len)
{
    return {static_cast<const uint8_t *>(p), len > 0 ? static_cast<std::size_t>(len) : 0};
}

// Whether the key's file holds exactly `len` bytes, read into `value`: one
// read of a byte more than that, since a regular file reads short only at
// its end (a value is replaced by a rename, so the file read is whole).
bool read_value(const char *key, std::size_t len, std::vector<uint8_t> &value)
{
    UniqueFd fd(::open(key_path(key).c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return false;
    value.resize(len + 1);
    ssize_t n = 0;
    do
        n = ::read(fd.get(), value.data(), value.size());
    while (n < 0 && errno == EINTR);
    return n >= 0 && static_cast<std::size_t>(n) == len;
}

}  // namespace

extern "C" int memstore_get(const char *key, void *buf, int len)
{
    Fault f = enter("memstore_get");
    int rc;
    std::vector<uint8_t> value;
    if (f.fail)
        rc = f.value;
    else if (key == nullptr || buf == nullptr || len < 0)
        rc = -1;
    else if (!read_value(key, static_cast<std::size_t>(len), value))
        rc = 0;
    else {
        std::memcpy(buf, value.data(), static_cast<std::size_t>(len));
        rc = 1;
    }
    count_bus(local(Bus::Memstore, rc == 1 ? static_cast<uint32_t>(len) : 0));
    const int out = answer(f, Contract::OneSucceeds, rc);
    journal("memstore_get(" + quoted(key ? key : "(null)") + ", " + std::to_string(len) + ")", out,
            rc == 1 ? bytes_of(buf, len) : std::span<const uint8_t>{});
    leave(f);
    return out;
}

extern "C" int memstore_set(const char *key, const void *buf, int len)
{
    Fault f = enter("memstore_set");
    int rc;
    if (f.fail)
        rc = f.value;
    else if (key == nullptr || !storable_key(key) || len < 0 || (buf == nullptr && len > 0))
        rc = -1;
    else {
        make_dirs(sp_path("memstore"));
        rc = write_file_atomic(key_path(key), bytes_of(buf, len)) ? 1 : -1;
    }
    count_write(local(Bus::Memstore, len > 0 ? static_cast<uint32_t>(len) : 0));
    const int out = answer(f, Contract::OneSucceeds, rc);
    journal("memstore_set(" + quoted(key ? key : "(null)") + ", " + std::to_string(len) + ")", out,
            buf != nullptr ? bytes_of(buf, len) : std::span<const uint8_t>{});
    leave(f);
    return out;
}

extern "C" int memstore_haskey(const char *key)
{
    Fault f = enter("memstore_haskey");
    int rc;
    struct stat st {};
    if (f.fail)
        rc = f.value;
    else
        rc = key != nullptr && ::stat(key_path(key).c_str(), &st) == 0 ? 1 : 0;
    count_bus(local(Bus::Memstore, 0));
    const int out = answer(f, Contract::NonzeroIsTrue, rc);
    journal("memstore_haskey(" + quoted(key ? key : "(null)") + ")", out);
    leave(f);
    return out;
}
