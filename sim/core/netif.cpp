#include "netif.h"

#include <arpa/inet.h>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>

namespace arksim {

bool set_ipv4(int sock, const char *ifname, unsigned long request, const char *address)
{
    struct ifreq ifr {};
    std::strncpy(ifr.ifr_name, ifname, IFNAMSIZ - 1);
    struct sockaddr_in sin {};
    sin.sin_family = AF_INET;
    if (::inet_pton(AF_INET, address, &sin.sin_addr) != 1)
        return false;
    std::memcpy(&ifr.ifr_addr, &sin, sizeof sin);
    return ::ioctl(sock, request, &ifr) == 0;
}

bool bring_up(int sock, const char *ifname)
{
    struct ifreq ifr {};
    std::strncpy(ifr.ifr_name, ifname, IFNAMSIZ - 1);
    if (::ioctl(sock, SIOCGIFFLAGS, &ifr) != 0)
        return false;
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP | IFF_RUNNING);
    return ::ioctl(sock, SIOCSIFFLAGS, &ifr) == 0;
}

}  // namespace arksim
