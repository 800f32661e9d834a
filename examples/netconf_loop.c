/*
 * netconf_loop - serves the netconf mailbox: takes the CMM's network settings and applies them
 *
 *   netconf_loop [--polls N] [--once]
 *
 * At start it takes the settings that the CMM may have left for the SP (arkb_netconf_initial_check),
 * then polls arkb_netconf_check_req once a second: N times (default: for ever), or until one request was
 * served with --once.  Each set of settings is applied (here: printed; put your interface configuration
 * in apply_settings) and published back for the CMM together with the SP's MAC address.
 *
 * Exit status: 0, or 1 when the mailbox cannot be found (start-up has not run).
 * Under the simulator: arksim run -- ./netconf_loop &  then  arksim mailbox request 10.0.0.5 static ...
 */
#define _POSIX_C_SOURCE 200112L /* sleep */

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <arkblade.h>

/* The fields hold the four octets in network order: the first octet is the first byte in memory. */
static void format_address(uint32_t address, char text[16])
{
    const uint8_t *octet = (const uint8_t *)&address;
    snprintf(text, 16, "%u.%u.%u.%u", octet[0], octet[1], octet[2], octet[3]);
}

static int apply_settings(const netconf_settings *s)
{
    char address[16], gateway[16], netmask[16];

    format_address(s->ipaddr, address);
    format_address(s->ipgway, gateway);
    format_address(s->ipnetmask, netmask);
    if (s->ipdiscovery == 1) {
        printf("apply: dhcp\n");
    } else if (s->ipdiscovery == 2) {
        printf("apply: static address %s netmask %s gateway %s\n", address, netmask, gateway);
    } else {
        printf("apply: unknown discovery, settings ignored\n");
        return -1;
    }
    fflush(stdout);
    return 0;
}

static void publish(const netconf_handle *h, const netconf_settings *s)
{
    static const uint8_t mac[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x03}; /* read yours from the NIC */

    if (arkb_netconf_publish_ip(h, s) != 0)
        fprintf(stderr, "netconf_loop: could not publish the settings\n");
    if (arkb_netconf_publish_macaddr(h, mac) != 0)
        fprintf(stderr, "netconf_loop: could not publish the MAC address\n");
}

int main(int argc, char **argv)
{
    netconf_handle h;
    netconf_settings s;
    long polls = -1;
    int once = 0;
    int i;

    for (i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--polls") == 0 && i + 1 < argc) {
            polls = atol(argv[++i]);
        } else if (strcmp(argv[i], "--once") == 0) {
            once = 1;
        } else {
            fprintf(stderr, "usage: netconf_loop [--polls N] [--once]\n");
            return 2;
        }
    }
    if (arkb_netconf_get_handle(&h) != 0) {
        fprintf(stderr, "netconf_loop: no mailbox in slot %u: has start-up run?\n", (unsigned)h.slotid);
        return 1;
    }
    /* Once, before polling: it also lowers a run-time request raised before it. */
    if (arkb_netconf_initial_check(&h, &s) == 1 && apply_settings(&s) == 0)
        publish(&h, &s);
    printf("polling the mailbox of slot %u\n", (unsigned)h.slotid);
    fflush(stdout);

    for (; polls != 0; polls = polls > 0 ? polls - 1 : polls) {
        /* Cheap while idle; after a grant it may sleep up to 16 s for the CMM. */
        if (arkb_netconf_check_req(&h, &s) == 1) {
            if (apply_settings(&s) == 0)
                publish(&h, &s);
            if (once)
                return 0;
        }
        sleep(1);
    }
    return 0;
}
