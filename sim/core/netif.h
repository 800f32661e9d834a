// Network interfaces of the simulated chassis network, set up with ioctls on
// an AF_INET datagram socket `sock` in the namespace being configured.
#ifndef ARKSIM_NETIF_H
#define ARKSIM_NETIF_H

namespace arksim {

// `request` is SIOCSIFADDR or SIOCSIFNETMASK; `address` dotted decimal.
bool set_ipv4(int sock, const char *ifname, unsigned long request, const char *address);
bool bring_up(int sock, const char *ifname);

}  // namespace arksim

#endif
