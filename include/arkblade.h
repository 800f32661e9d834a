/*
 * arkblade.h - the interface of libarkblade.so.1, the library that ties a blade's service processor (SP)
 * to its chassis
 *
 * Each function's contract (what it reads and writes, its results, how long it blocks) is its manual
 * page: man 3 NAME, or man 3 libarkblade for the overview and the list of families.  The comment above
 * a declaration is the first line of its entry there; a second line, where there is one, sums up its
 * results or its blocking.
 *
 * Results: 0 for success and -1 for failure, unless the comment says otherwise.  Records hold host
 * integers (the netconf addresses: octets in network order).  Records and buffers belong to the caller
 * and are not kept; pointers must not be NULL unless the page says what NULL does.  The library keeps
 * no state in process memory, starts no thread, takes no lock and logs to the system log.  An SP
 * start-up program calls arkb_initialize_mp, then arkb_initialize; then any SP process may call the rest.
 */
#ifndef ARKBLADE_H
#define ARKBLADE_H

#include <stdint.h>

/* ARKBLADE_VERSION_* - the version of libarkblade that this header belongs to */
#define ARKBLADE_VERSION_MAJOR 1
#define ARKBLADE_VERSION_MINOR 0
#define ARKBLADE_VERSION_PATCH 0

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

/*
 * == Start-up ==  (man 3 libarkblade-startup)
 * Once per SP start, in this order.
 */

/* arkb_initialize_mp - first start-up call: the slot, midplane tunnel access and the chassis type */
int arkb_initialize_mp(void);

/* arkb_initialize - second start-up call: thermal override, PCA9501, netconf mailbox, installation record */
int arkb_initialize(void);

/*
 * == Blade state ==  (man 3 libarkblade-state)
 * The blade's chassis state in memstore, and the library's log function.
 */

/* arkb_output - writes one entry to the system log
 * Formats as printf (at most 511 characters); logs at priority | LOG_UUCP. */
void arkb_output(int priority, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

/* arkb_get_slotid - the blade's slot number as start-up stored it */
int arkb_get_slotid(uint8_t *slot);

/* arkb_store_slotid - records a slot number for every SP program */
int arkb_store_slotid(uint8_t slot);

/* arkb_read_slotid - the slot number as the midplane reports it now
 * Returns the midplane library's result, negative on failure. */
int arkb_read_slotid(uint8_t *slot);

/* arkb_read_device_type - asks the platform for the device type
 * Returns -1 on this platform. */
int arkb_read_device_type(void);

/* arkb_get_device_type - the device type that another SP program stored
 * Returns 0, always; *type is 0 when nothing could be read. */
int arkb_get_device_type(uint32_t *type);

/* arkb_get_chassis_type - the chassis type that start-up probed
 * Returns 0, always; *type is 0 when nothing could be read. */
int arkb_get_chassis_type(uint32_t *type);

/* arkb_set_sas_cap - stores the blade's SAS capability word
 * Returns memstore's own result: 1 on success (not 0). */
int arkb_set_sas_cap(uint32_t caps);

/* arkb_get_sas_cap - the stored SAS capability word
 * Returns the word; 0 when none can be read. */
uint32_t arkb_get_sas_cap(void);

/* arkb_is_cmm_ready - whether CMM readiness has been recorded
 * Returns 1 when readiness is recorded, else 0. */
int arkb_is_cmm_ready(void);

/* arkb_fru_read - kept for older programs
 * Does nothing; returns -1. */
int arkb_fru_read(void);

/* arkb_update_cmm_ready - looks for the signs of CMM readiness and records them */
void arkb_update_cmm_ready(void);

/* arkb_set_thermovrd - switches the thermal override on (1) or off (0) */
int arkb_set_thermovrd(uint8_t value);

/* arkb_get_thermovrd - the thermal override as last set */
int arkb_get_thermovrd(uint8_t *value);

/*
 * == Midplane pass-throughs ==  (man 3 libarkblade-midplane)
 * The midplane library's arkmp_ functions: arguments and results passed on unchanged.
 */

/* arkb_mp_writeread - one write-then-read transaction with a midplane target
 * Returns negative on failure. */
int arkb_mp_writeread(uint8_t target, const uint8_t *wbuf, uint8_t *rbuf, int wlen, int rlen);

/* arkb_mp_write - writes len bytes from buf to midplane register reg
 * Returns greater than 0 on success; 0 or negative on failure. */
int arkb_mp_write(uint8_t reg, const uint8_t *buf, int len);

/* arkb_mp_read - reads len bytes from midplane register reg into buf
 * Returns exactly -1 on failure; any other value is success. */
int arkb_mp_read(uint8_t reg, uint8_t *buf, int len);

/* arkb_mp_tnlblk_write - writes len bytes from buf into the tunnel block memory of target
 * Returns 0 or more on success, negative on failure. */
int arkb_mp_tnlblk_write(uint8_t target, const uint8_t *buf, int len, int offset, int offset_width, int unit);

/* arkb_mp_tnlblk_read - reads len bytes from the tunnel block memory of target into buf
 * Returns 0 or more on success, negative on failure. */
int arkb_mp_tnlblk_read(uint8_t target, uint8_t *buf, int len, int offset, int offset_width, int unit);

/* arkb_mp_tunneling_init - brings up midplane tunnel access
 * Returns negative on failure. */
int arkb_mp_tunneling_init(int enable);

/*
 * == Platform layer ==  (man 3 libarkblade-platform)
 * What differs from one blade platform to another.
 */

/* arkbp_read_slotid - reads the slot byte from the midplane into *slot
 * Returns the midplane library's result, negative on failure. */
int arkbp_read_slotid(uint8_t *slot);

/* arkbp_store_slotid - records the slot number, as arkb_store_slotid does */
int arkbp_store_slotid(uint8_t slot);

/* arkbp_read_device_type - the platform's device type source
 * Returns -1: this platform has none. */
int arkbp_read_device_type(void);

/* arkbp_platform_specific_initialize - platform start-up, called by arkb_initialize_mp */
int arkbp_platform_specific_initialize(uint8_t slot);

/* arkbp_pca9501_filepath - the file of PCA9501 defaults
 * Returns NULL: this platform has none. */
const char *arkbp_pca9501_filepath(void);

/* arkbp_read_mbfruid_elmsect - reads len bytes at offset of the motherboard FRU EEPROM section into buf
 * Returns -1 when offset + len exceeds 16384, else the I2C library's result, negative on failure. */
int arkbp_read_mbfruid_elmsect(uint8_t *buf, unsigned len, unsigned offset);

/* arkbp_write_mbfruid_elmsect - writes len bytes from buf at offset of the motherboard FRU EEPROM section
 * Returns -1 when offset + len exceeds 16384, else the I2C library's result, negative on failure. */
int arkbp_write_mbfruid_elmsect(const uint8_t *buf, unsigned len, unsigned offset);

/*
 * == Installation record ==  (man 3 libarkblade-instrec)
 * The history of the chassis slots the blade was installed in, in its FRU EEPROM.
 */

/* get_manr_info - the chassis's manufacturing record, which names the blade's parent
 * out holds at least 183 bytes.  Returns 0, or the tunnel read's negative result, or -1. */
int get_manr_info(uint8_t *out);

/* arkb_instrec_update - records the current installation in the history */
int arkb_instrec_update(void);

/* print_installr_struct - prints one InstallationR record on standard output
 * Returns the result of printing the last line. */
int print_installr_struct(const uint8_t *record, int n);

/* printf_installationR - prints the whole installation history on standard output */
int printf_installationR(void);

/* arkb_instrec_test - the history dump as a test entry point
 * Returns 0 after a dump; test for 0. */
int arkb_instrec_test(void);

/*
 * == Network configuration mailbox ==  (man 3 libarkblade-netconf)
 * The SP's network settings exchanged with the CMM; fill a netconf_handle once, pass it on.
 */

/* netconf_handle - where the mailbox is: filled by arkb_netconf_get_handle */
typedef struct netconf_handle {
    uint8_t slotid;     /* slot number from memstore "slotid" */
    uint32_t signature; /* segment signature read at fill time (0xC055) */
    uint32_t offset;    /* tunnel offset of the net_info record */
} netconf_handle;

/* netconf_settings - network settings taken from or published to the mailbox */
typedef struct netconf_settings {
    uint32_t ipaddr;     /* octets in network order, as in the mailbox */
    uint32_t ipgway;     /* octets in network order */
    uint32_t ipnetmask;  /* octets in network order */
    int32_t ipdiscovery; /* 1 dhcp, 2 static, 0 unknown */
} netconf_settings;

/* arkb_netconf_initialize - makes the mailbox usable */
int arkb_netconf_initialize(void);

/* arkb_netconf_get_handle - fills *h for the other mailbox functions */
int arkb_netconf_get_handle(netconf_handle *h);

/* arkb_netconf_check_req - takes the CMM's run-time request for new settings, if one is pending
 * Returns 1 when a request was granted and *s filled, else 0; may sleep up to 8 x 2 s. */
int arkb_netconf_check_req(const netconf_handle *h, netconf_settings *s);

/* arkb_netconf_initial_check - takes the settings that the CMM left for the SP's start-up
 * Returns 1 with *s filled, else 0. */
int arkb_netconf_initial_check(const netconf_handle *h, netconf_settings *s);

/* arkb_netconf_publish_ip - publishes the SP's current settings for the CMM */
int arkb_netconf_publish_ip(const netconf_handle *h, const netconf_settings *s);

/* arkb_netconf_publish_macaddr - publishes the SP's MAC address for the CMM */
int arkb_netconf_publish_macaddr(const netconf_handle *h, const uint8_t *mac);

/* arkb_netconf_test - prints the mailbox on standard output
 * For diagnosis; returns 0, always. */
int arkb_netconf_test(void);

/*
 * == Power budgeting ==  (man 3 libarkblade-power)
 * The blade's power budget and allotment; ask arkb_pwr_poweron before the blade powers on.
 */

/* arkb_pwr_budget - a power budget, host order; stored big-endian in memstore */
typedef struct arkb_pwr_budget {
    uint16_t hwconfig_power;  /* watts of the blade's hardware configuration */
    uint16_t permitted_power; /* watts permitted; stored and read back only */
} arkb_pwr_budget;

/* ARKB_PWR_* - admission modes, the request for the cached budget, and the admission results */
#define ARKB_PWR_MODE_ASK 0
#define ARKB_PWR_MODE_ADMIT_ON_SILENCE 1
#define ARKB_PWR_MODE_ADMIT_ALL 2
#define ARKB_PWR_HWCONFIG_WATTS 0x7FFFFFFF
#define ARKB_PWR_ADMITTED 0
#define ARKB_PWR_NO_BUDGET (-8)
#define ARKB_PWR_REFUSED (-10)
#define ARKB_PWR_NO_ANSWER (-17)

/* arkb_pwr_get_budget - the cached power budget */
int arkb_pwr_get_budget(arkb_pwr_budget *b);

/* arkb_get_hwconfig_power - the cached hardware-configuration power, in watts
 * Returns 0 to 65535; 0 when there is no cached budget. */
int arkb_get_hwconfig_power(void);

/* arkb_get_permitted_power - the cached permitted power, in watts
 * Returns 0 to 65535; 0 when there is no cached budget. */
int arkb_get_permitted_power(void);

/* arkb_pwr_get_hwconfig_power - the hardware-configuration power published for the slot now
 * Returns 0 to 65535; -1 on failure. */
int arkb_pwr_get_hwconfig_power(void);

/* arkb_pwr_publish_budget - stores a power budget and publishes it */
int arkb_pwr_publish_budget(const arkb_pwr_budget *b);

/* arkb_pwr_decision_ready - whether a power decision may be taken now
 * Returns 1 (decide now) or 0 (wait and ask again). */
int arkb_pwr_decision_ready(void);

/* arkb_get_available_power - the blade's current power allotment, in watts
 * Returns the watts; -1 before any admission. */
int arkb_get_available_power(void);

/* arkb_pwr_getdecision - the decision of the last admission of a nonzero power */
int arkb_pwr_getdecision(uint8_t *decision);

/* arkb_pwr_poweron_node - asks whether the blade may draw watts
 * Returns ARKB_PWR_ADMITTED, _REFUSED, _NO_ANSWER or _NO_BUDGET; may wait for the CMM with no time-out. */
int arkb_pwr_poweron_node(int node, int watts, int mode);

/* arkb_pwr_poweron - arkb_pwr_poweron_node(0, watts, mode)
 * Returns and blocks as arkb_pwr_poweron_node. */
int arkb_pwr_poweron(int watts, int mode);

/* arkb_pwr_poweroff - sets the blade's allotment to 0
 * Returns 0 with an allotment; without one, as arkb_pwr_poweron_node. */
int arkb_pwr_poweroff(void);

/* arkb_pwr_cmm_request_power - asks the CMM for watts over the chassis network
 * Returns the watts granted (0 or more), 0 for a refusal, negative otherwise; sets no time-out. */
int arkb_pwr_cmm_request_power(int watts);

/* arkb_pwr_unit_test - the power budgeting self-test, on the live system
 * For diagnosis: runs real admissions.  Returns 0, -1 without a slot number. */
int arkb_pwr_unit_test(void);

/* vlan_ipaddrs - the chassis-network IPv4 addresses, dotted-decimal
 * Entry 0, 169.254.10.1, is the CMM's address.  Read only. */
extern const char *vlan_ipaddrs[98];

/*
 * == Thermal control ==  (man 3 libarkblade-thermal)
 * The thermal control setting, from which the library derives the thermal override.
 */

/* arkb_set_tcontrol - stores the thermal control setting and brings the thermal override into line */
int arkb_set_tcontrol(int32_t value);

/* arkb_get_tcontrol - the thermal control setting */
int arkb_get_tcontrol(int32_t *value);

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

#ifdef __cplusplus
}
#endif

#endif /* ARKBLADE_H */
