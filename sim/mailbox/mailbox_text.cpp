// The mailbox's values as the command line writes and reads them: IPv4
// addresses, the discovery byte and the ways the CMM can misbehave.
#include <cstdio>
#include <string>

#include "cmm_mailbox.h"

namespace arksim::mbox {

bool parse_ipv4(const std::string &text, std::array<uint8_t, 4> &out)
{
    unsigned o[4];
    char tail = 0;
    if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%c", &o[0], &o[1], &o[2], &o[3], &tail) != 4)
        return false;
    for (int i = 0; i < 4; ++i) {
        if (o[i] > 255)
            return false;
        out[i] = static_cast<uint8_t>(o[i]);
    }
    return text.find_first_not_of("0123456789.") == std::string::npos;
}

bool parse_discovery(const std::string &text, uint8_t &out)
{
    if (text == "dhcp" || text == "static") {
        out = text == "dhcp" ? kDhcp : kStatic;
        return true;
    }
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    int v = std::stoi(text);
    if (v > 255)
        return false;
    out = static_cast<uint8_t>(v);
    return true;
}

std::string ipv4_text(std::span<const uint8_t> o)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", o[0], o[1], o[2], o[3]);
    return buf;
}

std::string discovery_text(uint8_t d)
{
    return d == kDhcp ? "dhcp" : d == kStatic ? "static" : "unknown " + std::to_string(d);
}

bool parse_misbehave(const std::string &text, Misbehave &out)
{
    if (text == "never-answer")
        out = Misbehave::NeverAnswer;
    else if (text == "lower-request-only")
        out = Misbehave::LowerRequestOnly;
    else if (text == "lower-grant-only")
        out = Misbehave::LowerGrantOnly;
    else
        return false;
    return true;
}

}  // namespace arksim::mbox
