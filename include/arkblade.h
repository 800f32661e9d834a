/*
 * arkblade.h - the interface of libarkblade.so.1, the library that ties a
 * blade's service processor (SP) to its chassis.
 *
 * Results.  Every function returns an int: 0 means success and -1 failure,
 * unless its comment says otherwise.  The exceptions are the getters that
 * return a value (or 0 when it cannot be read), arkb_set_sas_cap (which hands
 * back memstore's own 1 on success), the netconf request checks (1 or 0) and
 * the power admission results (0, -8, -10, -17).
 *
 * Byte order.  Every multi-byte integer that the library stores in memstore,
 * in the FRU EEPROM, in tunnel block memory or sends on the wire is
 * big-endian, on every host.  The records below hold host integers; the
 * netconf address fields hold the four octets in network order.  The
 * "chassis_type" key alone is stored low byte first.
 *
 * Blocking.  arkb_netconf_check_req blocks for up to 8 x 2 s after granting a
 * request; arkb_pwr_cmm_request_power (and the admissions that call it) block
 * on TCP with no time-out, for up to three attempts.  Everything else returns
 * as soon as its bus transfers are done.
 *
 * State.  The library keeps no state in process memory and starts no thread:
 * every value that outlives a call lives in memstore, in a file under
 * /dev/shm, in the FRU EEPROM or in tunnel block memory.  Calls may come from
 * any SP process in any order after start-up (arkb_initialize_mp, then
 * arkb_initialize); concurrent writers follow "last writer wins".
 *
 * Records crossing this interface are owned by the caller.
 */
#ifndef ARKBLADE_H
#define ARKBLADE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

/* Netconf mailbox handle: filled by arkb_netconf_get_handle. */
typedef struct netconf_handle {
    uint8_t slotid;     /* slot number from memstore "slotid" */
    uint32_t signature; /* segment signature read at fill time (0xC055) */
    uint32_t offset;    /* tunnel offset of the net_info record */
} netconf_handle;

/* Network settings exchanged through the mailbox. */
typedef struct netconf_settings {
    uint32_t ipaddr;     /* octets in network order, as in the mailbox */
    uint32_t ipgway;     /* octets in network order */
    uint32_t ipnetmask;  /* octets in network order */
    int32_t ipdiscovery; /* 1 dhcp, 2 static, 0 unknown */
} netconf_settings;

/* Power budget record, host order; stored big-endian in memstore. */
typedef struct arkb_pwr_budget {
    uint16_t hwconfig_power;
    uint16_t permitted_power;
} arkb_pwr_budget;

/* Admission modes and results of arkb_pwr_poweron_node. */
#define ARKB_PWR_MODE_ASK 0
#define ARKB_PWR_MODE_ADMIT_ON_SILENCE 1
#define ARKB_PWR_MODE_ADMIT_ALL 2
#define ARKB_PWR_HWCONFIG_WATTS 0x7FFFFFFF
#define ARKB_PWR_ADMITTED 0
#define ARKB_PWR_NO_BUDGET (-8)
#define ARKB_PWR_REFUSED (-10)
#define ARKB_PWR_NO_ANSWER (-17)

/* Start-up */
int arkb_initialize_mp(void);
int arkb_initialize(void);

/* Blade state and log output */
void arkb_output(int priority, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
int arkb_get_slotid(uint8_t *slot);
int arkb_store_slotid(uint8_t slot);
int arkb_read_slotid(uint8_t *slot);
int arkb_read_device_type(void);
int arkb_get_device_type(uint32_t *type);
int arkb_get_chassis_type(uint32_t *type);
int arkb_set_sas_cap(uint32_t caps);
uint32_t arkb_get_sas_cap(void);
int arkb_is_cmm_ready(void);
int arkb_fru_read(void);
void arkb_update_cmm_ready(void);
int arkb_set_thermovrd(uint8_t value);
int arkb_get_thermovrd(uint8_t *value);

/* Midplane pass-throughs: arguments and results of the arkmp_ namesakes */
int arkb_mp_writeread(uint8_t target, const uint8_t *wbuf, uint8_t *rbuf, int wlen, int rlen);
int arkb_mp_write(uint8_t reg, const uint8_t *buf, int len);
int arkb_mp_read(uint8_t reg, uint8_t *buf, int len);
int arkb_mp_tnlblk_write(uint8_t target, const uint8_t *buf, int len, int offset, int offset_width, int unit);
int arkb_mp_tnlblk_read(uint8_t target, uint8_t *buf, int len, int offset, int offset_width, int unit);
int arkb_mp_tunneling_init(int enable);

/* Platform layer */
int arkbp_read_slotid(uint8_t *slot);
int arkbp_store_slotid(uint8_t slot);
int arkbp_read_device_type(void);
int arkbp_platform_specific_initialize(uint8_t slot);
const char *arkbp_pca9501_filepath(void);
int arkbp_read_mbfruid_elmsect(uint8_t *buf, unsigned len, unsigned offset);
int arkbp_write_mbfruid_elmsect(const uint8_t *buf, unsigned len, unsigned offset);

/* Installation record */
int get_manr_info(uint8_t *out); /* out: at least 183 bytes, the record payload */
int arkb_instrec_update(void);
int print_installr_struct(const uint8_t *record, int n);
int printf_installationR(void);
int arkb_instrec_test(void);

/* Network configuration mailbox */
int arkb_netconf_initialize(void);
int arkb_netconf_get_handle(netconf_handle *h);
int arkb_netconf_check_req(const netconf_handle *h, netconf_settings *s);
int arkb_netconf_initial_check(const netconf_handle *h, netconf_settings *s);
int arkb_netconf_publish_ip(const netconf_handle *h, const netconf_settings *s);
int arkb_netconf_publish_macaddr(const netconf_handle *h, const uint8_t *mac);
int arkb_netconf_test(void);

/* Power budgeting */
int arkb_pwr_get_budget(arkb_pwr_budget *b);
int arkb_get_hwconfig_power(void);
int arkb_get_permitted_power(void);
int arkb_pwr_get_hwconfig_power(void);
int arkb_pwr_publish_budget(const arkb_pwr_budget *b);
int arkb_pwr_decision_ready(void);
int arkb_get_available_power(void);
int arkb_pwr_getdecision(uint8_t *decision);
int arkb_pwr_poweron_node(int node, int watts, int mode);
int arkb_pwr_poweron(int watts, int mode);
int arkb_pwr_poweroff(void);
int arkb_pwr_cmm_request_power(int watts);
int arkb_pwr_unit_test(void);
extern const char *vlan_ipaddrs[98];

/* Thermal control */
int arkb_set_tcontrol(int32_t value);
int arkb_get_tcontrol(int32_t *value);

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

#ifdef __cplusplus
}
#endif

#endif /* ARKBLADE_H */
