// libami.so.1 stand-in: the FRU helpers.
//
// Checksums: compute_crc8 is CRC-8 with polynomial 0x07, initial value 0, no
// reflection; compute_checksum32 is CRC-32/ISO-HDLC (reflected 0xEDB88320,
// initial and final 0xFFFFFFFF), the CRC of zip and Ethernet.
//
// Tag encoding of FRU fields (byte 0 decides the type):
//   0x0C             END    1-byte header, no payload (ends a tag sequence)
//   0x40..0x7F       SHORT  1-byte header, payload length = byte0 & 0x3F
//   0x80..0xBF       MEDIUM 2-byte header, payload length = (byte0 & 0x3F) << 8 | byte1
//   0xF8             LONG   4-byte header F8 <id> <b2> <b3>,
//                           payload length = (b2 & 0x0F) << 8 | b3
//   anything else    invalid: every tag function answers -1
// So F8 00 10 B7 (the manufacturing record) is a 4-byte header with a
// 183-byte payload, and F8 00 14 4B a 4-byte header with 1099 bytes.
#include <algorithm>
#include <cstdio>

#include "core/fru.h"
#include "core/simstate.h"
#include "arkb_outside.h"

using namespace arksim;

namespace {

std::string ptr_call(const char *name, const uint8_t *p, int n)
{
    return std::string(name) + "([" + (p ? hex_bytes({p, static_cast<std::size_t>(n)}) : "") + "])";
}

}  // namespace

extern "C" uint8_t compute_crc8(const uint8_t *buf, int len)
{
    Fault f = enter("compute_crc8");
    uint8_t crc = buf != nullptr && len > 0 ? crc8({buf, static_cast<std::size_t>(len)}) : 0;
    if (f.fail || f.done)
        crc = static_cast<uint8_t>(f.value);
    journal("compute_crc8(" + std::to_string(len) + ")", crc);
    leave(f);
    return crc;
}

extern "C" uint32_t compute_checksum32(const uint8_t *buf, int len)
{
    Fault f = enter("compute_checksum32");
    uint32_t crc =
        crc32(buf != nullptr && len > 0 ? std::span<const uint8_t>(buf, static_cast<std::size_t>(len))
                                        : std::span<const uint8_t>{});
    if (f.fail || f.done)
        crc = static_cast<uint32_t>(f.value);
    journal("compute_checksum32(" + std::to_string(len) + ")", crc);
    leave(f);
    return crc;
}

extern "C" int get_tag_type(const uint8_t *hdr)
{
    Fault f = enter("get_tag_type");
    int rc = f.fail || f.done ? f.value : (hdr != nullptr ? tag_type(hdr[0]) : -1);
    journal(ptr_call("get_tag_type", hdr, 1), rc);
    leave(f);
    return rc;
}

extern "C" int get_tag_size(int type)
{
    Fault f = enter("get_tag_size");
    int rc = f.fail || f.done ? f.value : tag_header_size(type);
    journal("get_tag_size(" + std::to_string(type) + ")", rc);
    leave(f);
    return rc;
}

extern "C" int get_payload_length(const uint8_t *hdr)
{
    Fault f = enter("get_payload_length");
    int rc = -1;
    int shown = 1;
    if (f.fail || f.done) {
        rc = f.value;
    } else if (hdr != nullptr) {
        rc = tag_payload_length(hdr);
        shown = std::max(1, tag_header_size(tag_type(hdr[0])));
    }
    journal(ptr_call("get_payload_length", hdr, shown), rc);
    leave(f);
    return rc;
}
