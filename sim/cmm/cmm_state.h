/*
 * The simulated chassis management module (CMM): where its state lives and
 * the pieces that both the daemon (`arkcmm`) and `arksim` need.
 *
 *   <chassis>/cmm/config      "key=value" lines: pool=<watts> (default 1200),
 *                             broadcast=<blade>,<blade>... or "all",
 *                             autostart=1 (`arksim run` starts the CMM)
 *   <chassis>/cmm/behaviour   optional misbehaviour, one directive a line:
 *                             reply <text> | close | split | delay <ms> | nolisten
 *   <chassis>/cmm/allotments  "<slot> <watts>" per blade with a grant
 *   <chassis>/cmm/requests    one line per request (see service.cpp); past
 *                             1 MiB renamed to requests.1 (the older goes)
 *   <chassis>/cmm/pid         the daemon's pid, written once it serves
 *   <chassis>/cmm/lock        held (OFD write lock) while a daemon runs
 *   <chassis>/cmm/log         the daemon's own messages
 *   <chassis>/netns           symlink to /proc/<daemon pid>/ns/net, the
 *                             chassis network (bridge "chassis0" holding
 *                             169.254.10.1/16); when an ordinary user runs
 *                             the daemon, owned by the daemon's own user
 *                             namespace (/proc/<daemon pid>/ns/user)
 *
 * A blade run by `arksim run` while the chassis network exists gets its own
 * network namespace, joined to the bridge by a veth pair, with the address
 * its slot's address (blade_address); the CMM tells blades apart by it.
 */
#ifndef ARKSIM_CMM_STATE_H
#define ARKSIM_CMM_STATE_H

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/unique_fd.h"

namespace arksim::cmm {

inline constexpr const char *kAddress = "169.254.10.1";
inline constexpr uint16_t kPort = 880;
inline constexpr const char *kBridge = "chassis0";
inline constexpr const char *kDaemonName = "arkcmm";
inline constexpr int kDefaultPool = 1200;
inline constexpr int kMaxPool = 1000000;
// Every slot byte (0..255) has an address of its own on the chassis network,
// 169.254.0.0/16: host number kFirstBladeHost + slot counted from
// 169.254.10.0, so slots 0..155 are 169.254.10.100..255 and slots 156..255
// are 169.254.11.0..99.
inline constexpr int kFirstBladeHost = 100;
inline constexpr int kSlots = 256;
inline constexpr uint32_t kNetworkBase = (169u << 24) | (254u << 16) | (10u << 8);  // 169.254.10.0
inline constexpr const char *kChassisNetmask = "255.255.0.0";

std::string dir(const std::string &chassis);
std::string file(const std::string &chassis, const char *name);

struct Config {
    int pool = kDefaultPool;
    std::string broadcast;  // comma-separated blade names, "all", or empty
    bool autostart = false;
};
Config read_config(const std::string &chassis);
bool write_config(const std::string &chassis, const Config &c);
// The blades that `broadcast` names ("all": every blade of the chassis).
std::vector<std::string> broadcast_blades(const std::string &chassis, const Config &c);

// Latest grant per slot.
using Allotments = std::array<int, kSlots>;
Allotments read_allotments(const std::string &chassis);
bool write_allotments(const std::string &chassis, const Allotments &a);

// The daemon's pid: -1 when none runs, 0 while one starts (lock held, no pid
// file yet).
int running_pid(const std::string &chassis);
// Whether the process's network namespace has a listener on kAddress:kPort.
bool is_listening(int pid);
// Opens <chassis>/netns when it leads to the network namespace of a running
// `arkcmm` (a stale link, or one whose pid now belongs to another program,
// does not count); `pid` gets the daemon's pid.
UniqueFd open_chassis_netns(const std::string &chassis, int &pid);

std::string blade_address(int slot);
// The slot whose address `host` (host byte order) is; -1 for any other.
int slot_of_address(uint32_t host);
// The host part of the veth that joins a blade run (process `pid`) to the bridge.
std::string veth_name(int slot, int pid);

// Bytes as text: printable ASCII as is, \\ \" \n \r \t \0 and \xHH otherwise.
std::string escape(std::span<const uint8_t> bytes);
// The reverse, for `reply` texts; false on a bad escape.
bool unescape(const std::string &text, std::string &out);

}  // namespace arksim::cmm

#endif
