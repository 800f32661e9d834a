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
 *   <chassis>/cmm/requests    one line per request (see service.cpp)
 *   <chassis>/cmm/pid         the daemon's pid, written once it serves
 *   <chassis>/cmm/lock        held (OFD write lock) while a daemon runs
 *   <chassis>/cmm/log         the daemon's own messages
 *   <chassis>/netns           symlink to /proc/<daemon pid>/ns/net, the
 *                             chassis network (bridge "chassis0" holding
 *                             169.254.10.1/24)
 *
 * A blade run by `arksim run` while the chassis network exists gets its own
 * network namespace, joined to the bridge by a veth pair, with the address
 * 169.254.10.(100 + slot % 60); the CMM tells blades apart by that address.
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
// Blade addresses: 169.254.10.(kFirstBladeHost + slot % kBladeHosts).
inline constexpr int kFirstBladeHost = 100;
inline constexpr int kBladeHosts = 60;

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

// Latest grant per blade address (index = host number - kFirstBladeHost).
using Allotments = std::array<int, kBladeHosts>;
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
// The host part of the veth that joins a blade run (process `pid`) to the bridge.
std::string veth_name(int slot, int pid);

// Bytes as text: printable ASCII as is, \\ \" \n \r \t \0 and \xHH otherwise.
std::string escape(std::span<const uint8_t> bytes);
// The reverse, for `reply` texts; false on a bad escape.
bool unescape(const std::string &text, std::string &out);

}  // namespace arksim::cmm

#endif
