/*
 * arkblade.h - the interface of libarkblade.so.1, the library that ties a blade's service processor (SP)
 * to its chassis
 *
 * The library learns the blade's slot and the chassis type over the midplane at start-up, keeps the
 * blade's chassis state in the SP's key-value store (memstore), exchanges network settings with the
 * chassis monitoring module (CMM) through a mailbox in tunnel block memory, keeps an installation
 * history in the motherboard FRU EEPROM, asks the CMM for power before power-on and switches the thermal
 * override.  The comment above each declaration is also its manual page: man 3 libarkblade for this
 * overview, and a page per family of functions.
 *
 * Results.  Every function returns an int: 0 means success and -1 failure, unless its comment says
 * otherwise.  The exceptions are the getters that return a value (or 0 when there is none to read),
 * arkb_set_sas_cap (memstore's own 1 on success), the netconf request checks (1 or 0), the power
 * admission results (ARKB_PWR_ADMITTED, ARKB_PWR_NO_BUDGET, ARKB_PWR_REFUSED, ARKB_PWR_NO_ANSWER) and the
 * diagnostics that print.
 *
 * Byte order.  Every multi-byte integer that the library stores in memstore, in the FRU EEPROM or in
 * tunnel block memory, or sends on the wire, is big-endian on every host.  The records below hold host
 * integers; the netconf address fields hold the four octets in network order.  The "chassis_type" key
 * alone is stored low byte first.
 *
 * Blocking.  arkb_netconf_check_req sleeps for up to 8 x 2 s after granting a request.
 * arkb_pwr_cmm_request_power makes up to three TCP attempts and sets no time-out: on a silent network
 * each connect waits out the kernel's SYN retries (about 127 s with Linux defaults, so about 6 minutes
 * for three attempts), and behind a CMM that accepts the connection and never answers the receive waits
 * forever.  The admissions that may ask the CMM block the same way: arkb_pwr_poweron_node,
 * arkb_pwr_poweron, and arkb_pwr_poweroff when no allotment is stored.  Everything else returns as soon
 * as its memstore calls, file accesses and bus transfers are done.
 *
 * State, threads and processes.  The library keeps no state in process memory, starts no thread, takes
 * no lock and installs no signal handler: every value that outlives a call lives in memstore, in a file
 * under /dev/shm, in the FRU EEPROM or in tunnel block memory, where every SP process sees it at once.
 * Calls may come from any SP process in any order after start-up (arkb_initialize_mp, then
 * arkb_initialize); of two concurrent writers the last one wins, and a read-modify-write (the
 * installation record, the thermal control setting) is not atomic against another process.  Whether
 * calls may come from several threads of one process at once is the platform libraries' matter
 * (memstore, midplane, I2C, sensors), which the library calls as they are; of its own calls only the CMM
 * client's getprotobyname is not thread-safe in the C library.
 *
 * Ownership.  Records and buffers crossing this interface are owned by the caller and are not kept after
 * the call.  Pointer arguments must not be NULL, except where a comment says what NULL does.
 *
 * Log.  Errors and notices go to the system log (facility LOG_UUCP) as "file::function::line:Error text"
 * at priority 3 and "...:Notice text" at priority 5.  The CMM power request client alone writes its own
 * lines, "libarkblade_power_cmm:function:line: text", straight to syslog at priority 2 (LOG_CRIT) with no
 * facility bits.  The
 * diagnostics (print_installr_struct, printf_installationR, arkb_instrec_test, arkb_netconf_test,
 * arkb_pwr_unit_test) print on standard output instead.
 */
#ifndef ARKBLADE_H
#define ARKBLADE_H

#include <stdint.h>

/*
 * ARKBLADE_VERSION_* - the version of libarkblade that this header belongs to
 *
 * A program compares them at build time, e.g. #if ARKBLADE_VERSION_MAJOR != 1.  Within one major version
 * (soname libarkblade.so.1) the interface only grows.
 */
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
 *
 * An SP start-up program calls arkb_initialize_mp and then arkb_initialize, once per SP start.  After that
 * any SP process may call the rest of the library.
 */

/*
 * arkb_initialize_mp - first start-up call: the slot, midplane tunnel access and the chassis type
 *
 * Reads the slot byte from the midplane.  When its bit 4 (0x10) is clear, brings up midplane tunnel
 * access (arkb_mp_tunneling_init(1)).  Probes the chassis type from midplane registers 0x9C, 0x4C and
 * 0x7E (1302 or 3096 when 0x9C reads, 3074 when only 0x4C reads, 3331 when only 0x7E reads, else 3073)
 * and publishes it, then records the slot.
 *
 * Returns: 0; -1 when the slot cannot be read or tunnel access fails (logged; nothing is stored then).
 * Failures to store the chassis type or the slot are not reported.
 *
 * Writes: memstore "chassis_type" (2 bytes, low byte first) and /dev/shm/chassis_type (the same 2 bytes),
 * then memstore "slotid" (1 byte) and /dev/shm/slotid (the first two characters of the decimal slot).
 *
 * When: once per SP start, before arkb_initialize; a few midplane transfers.
 */
int arkb_initialize_mp(void);

/*
 * arkb_initialize - second start-up call: thermal override, PCA9501, netconf mailbox, installation record
 *
 * Needs the slot stored by arkb_initialize_mp.  Then runs these steps in turn; a step that fails is
 * logged and the next one runs:
 *   - forces the thermal override off (arkb_set_thermovrd(0)) without reading "tcontrol": a program that
 *     keeps a thermal control setting re-applies it with arkb_set_tcontrol after arkb_initialize;
 *   - when the PCA9501 reports no DT value and bit 4 of the slot byte is clear, programs its defaults;
 *     this platform has no defaults file, so every such start logs "Error PCA9501 Bin File is null";
 *   - prepares the netconf mailbox (arkb_netconf_initialize);
 *   - unless /persist/node1 is readable, updates the installation record (arkb_instrec_update).
 *
 * Returns: 0 once the slot is known, even when a later step failed (the system log tells, e.g. "Error
 * Could not update InstallR record"); -1 when "slotid" is missing or 255 (logged; nothing else is done).
 *
 * Writes: "therm_ovrd" and the override register, the mailbox in the slot's tunnel block memory, possibly
 * a record in the FRU EEPROM.  Reads about 3 KB over the buses (the ring and the chassis FRU data); in
 * the simulator's model of a 100 kHz bus (arksim bus --khz 100) a blade's first start-up takes about
 * 0.77 s.
 *
 * When: once per SP start, after arkb_initialize_mp.
 */
int arkb_initialize(void);

/*
 * == Blade state ==  (man 3 libarkblade-state)
 *
 * The blade's chassis state in memstore, where every SP program reads it: slot, device and chassis type,
 * SAS capabilities, CMM readiness and the thermal override; and the library's log function.  They block
 * only for their memstore calls, except arkb_read_slotid (a midplane transfer), arkb_store_slotid (it
 * also writes /dev/shm/slotid) and arkb_set_thermovrd (one midplane write).
 */

/*
 * arkb_output - writes one entry to the system log
 *
 * Formats its arguments as printf does (at most 511 characters; the rest is cut off) and logs the text
 * with syslog at priority | LOG_UUCP.  The text is not taken as a format again, so a "%" in it is logged
 * as it is.  The library's own lines read "file::function::line:Error text" at priority 3 (LOG_ERR) and
 * "...:Notice text" at priority 5 (LOG_NOTICE).
 *
 * Returns: nothing.  When: at any time, also before start-up.
 */
void arkb_output(int priority, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

/*
 * arkb_get_slotid - the blade's slot number as start-up stored it
 *
 * Reads memstore "slotid" (1 byte) into *slot.  The byte is the midplane's, bit 4 included.
 *
 * Returns: 0; -1 when the key is missing or holds 255 (no slot number), *slot untouched.
 */
int arkb_get_slotid(uint8_t *slot);

/*
 * arkb_store_slotid - records a slot number for every SP program
 *
 * Writes memstore "slotid" (1 byte), then /dev/shm/slotid (2 bytes: the decimal number, NUL-padded when
 * it has one digit, cut to two digits when it has three).  arkb_initialize_mp calls it; other programs
 * rarely need to.
 *
 * Returns: 0; -1 when memstore refuses (logged; no file written) or the file cannot be opened.
 */
int arkb_store_slotid(uint8_t slot);

/*
 * arkb_read_slotid - the slot number as the midplane reports it now
 *
 * Asks the midplane (arkbp_read_slotid) and stores the byte in *slot; memstore is not touched.
 *
 * Returns: the midplane library's result, negative on failure.
 */
int arkb_read_slotid(uint8_t *slot);

/*
 * arkb_read_device_type - asks the platform for the device type
 *
 * Returns: -1 on this platform, which has no device type source (arkbp_read_device_type).
 */
int arkb_read_device_type(void);

/*
 * arkb_get_device_type - the device type that another SP program stored
 *
 * Reads memstore "device_type" (4 bytes, big-endian) into *type, or stores 0 there when it cannot.
 *
 * Returns: 0, always.
 */
int arkb_get_device_type(uint32_t *type);

/*
 * arkb_get_chassis_type - the chassis type that start-up probed
 *
 * Reads memstore "chassis_type" (2 bytes, low byte first) and stores the code in *type: 1302, 3096, 3074,
 * 3331 or 3073 (see arkb_initialize_mp); 0 when the key cannot be read: start-up has not run, its write
 * of the key failed (arkb_initialize_mp does not check it), or the read fails.
 *
 * Returns: 0, always.
 */
int arkb_get_chassis_type(uint32_t *type);

/*
 * arkb_set_sas_cap - stores the blade's SAS capability word
 *
 * Writes memstore "ARKB/SAS_CAPS" (4 bytes, big-endian).  The library gives the bits no meaning.
 *
 * Returns: memstore's own result: 1 on success (not 0), anything else on failure.
 */
int arkb_set_sas_cap(uint32_t caps);

/*
 * arkb_get_sas_cap - the stored SAS capability word
 *
 * Reads memstore "ARKB/SAS_CAPS".
 *
 * Returns: the word, or 0 when it was never stored or cannot be read (the same as a stored 0).
 */
uint32_t arkb_get_sas_cap(void);

/*
 * arkb_is_cmm_ready - whether CMM readiness has been recorded
 *
 * Reads memstore "ARKB/CMMREADY"; it does not look for the signs of readiness itself
 * (arkb_update_cmm_ready does).
 *
 * Returns: 1 when the key holds 1; 0 when it holds anything else, is missing or cannot be read.
 */
int arkb_is_cmm_ready(void);

/*
 * arkb_fru_read - kept for older programs
 *
 * Does nothing.  Returns: -1, always.
 */
int arkb_fru_read(void);

/*
 * arkb_update_cmm_ready - looks for the signs of CMM readiness and records them
 *
 * Two signs, each checked on every call: the CMM's sensor broadcast has reached the SP (memstore
 * "SSBCAST/CH/TIMESTAMP" exists), and the SP has been up for more than 100 s.  For each sign that holds it
 * logs a notice ("CMM is Ready. Detected via SSBCAST" or "... via simple wait") and writes 1 to
 * "ARKB/CMMREADY".  It never writes 0 and never removes the key.
 *
 * Returns: nothing; a failed memstore write is logged.  When: call it again (e.g. once a second) until
 * arkb_is_cmm_ready gives 1; every call that finds a sign logs its notice again.
 */
void arkb_update_cmm_ready(void);

/*
 * arkb_set_thermovrd - switches the thermal override on (1) or off (0)
 *
 * Writes the whole override register of the slot, midplane register (slot x 2) & 0xFE: 0x5F for on,
 * 0x7F for off (bit 5 clear means on); then memstore "therm_ovrd" (1 byte).  SP programs normally set the
 * thermal control setting instead (arkb_set_tcontrol), which calls this.
 *
 * Returns: 0; -1 when there is no slot number, value is neither 0 nor 1 (nothing written), the register
 * write fails (logged; memstore keeps the old value) or memstore refuses (the register is written).
 */
int arkb_set_thermovrd(uint8_t value);

/*
 * arkb_get_thermovrd - the thermal override as last set
 *
 * Reads memstore "therm_ovrd" (1 byte) into *value; the register is never read back.
 *
 * Returns: 0; -1 when the key was never written or cannot be read (the byte at value may have been
 * written all the same).
 */
int arkb_get_thermovrd(uint8_t *value);

/*
 * == Midplane pass-throughs ==  (man 3 libarkblade-midplane)
 *
 * Direct access to the midplane library: each function takes exactly the arguments of its arkmp_
 * namesake, passes them on unchanged and returns that function's result unchanged.  A slot's target
 * address is 0x80 | ((slot x 2) & 0xFE).  Each call blocks until its bus transfers are done.  The
 * blade's own tunnel block memory holds the netconf mailbox: in a mailbox this library made, bytes 0 to
 * 15 (tunnel header) and 78 to 111 (signature and net_info record); a mailbox found there, made by
 * another program, lies where the header's one-byte segment offset puts it, its record ending at most at
 * about offset 289.  A write to those bytes changes what the mailbox functions read.
 */

/*
 * arkb_mp_writeread - one write-then-read transaction with a midplane target
 *
 * Writes wlen bytes from wbuf to the device at target, then reads rlen bytes into rbuf.
 *
 * Returns: negative on failure.
 */
int arkb_mp_writeread(uint8_t target, const uint8_t *wbuf, uint8_t *rbuf, int wlen, int rlen);

/*
 * arkb_mp_write - writes len bytes from buf to midplane register reg
 *
 * Returns: greater than 0 on success; 0 or negative on failure.
 */
int arkb_mp_write(uint8_t reg, const uint8_t *buf, int len);

/*
 * arkb_mp_read - reads len bytes from midplane register reg into buf
 *
 * Returns: exactly -1 on failure; any other value is success.
 */
int arkb_mp_read(uint8_t reg, uint8_t *buf, int len);

/*
 * arkb_mp_tnlblk_write - writes len bytes from buf into the tunnel block memory of target
 *
 * offset is the byte offset in that memory, offset_width its width in bits (8 or 16), unit the largest
 * single transfer in bytes.  The library's own mailbox accesses use 8, 8.
 *
 * Returns: 0 or more on success, negative on failure.
 */
int arkb_mp_tnlblk_write(uint8_t target, const uint8_t *buf, int len, int offset, int offset_width, int unit);

/*
 * arkb_mp_tnlblk_read - reads len bytes from the tunnel block memory of target into buf
 *
 * Arguments as for arkb_mp_tnlblk_write; the chassis FRU data is target 0xAA, read with 16, 64.
 *
 * Returns: 0 or more on success, negative on failure.
 */
int arkb_mp_tnlblk_read(uint8_t target, uint8_t *buf, int len, int offset, int offset_width, int unit);

/*
 * arkb_mp_tunneling_init - brings up midplane tunnel access
 *
 * arkb_initialize_mp calls it with enable 1 when bit 4 of the slot byte is clear.
 *
 * Returns: negative on failure.
 */
int arkb_mp_tunneling_init(int enable);

/*
 * == Platform layer ==  (man 3 libarkblade-platform)
 *
 * What differs from one blade platform to another, reached by the rest of the library only through these
 * functions.  On this platform three of them give fixed answers.  None logs; the FRU EEPROM functions
 * block for their I2C transfers.
 */

/*
 * arkbp_read_slotid - reads the slot byte from the midplane into *slot
 *
 * Returns: the midplane library's result, negative on failure.
 */
int arkbp_read_slotid(uint8_t *slot);

/*
 * arkbp_store_slotid - records the slot number, as arkb_store_slotid does
 *
 * Returns: the result of arkb_store_slotid.
 */
int arkbp_store_slotid(uint8_t slot);

/*
 * arkbp_read_device_type - the platform's device type source
 *
 * Returns: -1, always: this platform has none.
 */
int arkbp_read_device_type(void);

/*
 * arkbp_platform_specific_initialize - platform start-up, called by arkb_initialize_mp
 *
 * Does nothing on this platform.  Returns: 0.
 */
int arkbp_platform_specific_initialize(uint8_t slot);

/*
 * arkbp_pca9501_filepath - the file of PCA9501 defaults
 *
 * Returns: NULL, always: this platform has no such file, so arkb_initialize logs "Error PCA9501 Bin File
 * is null" whenever it would program the defaults.
 */
const char *arkbp_pca9501_filepath(void);

/*
 * arkbp_read_mbfruid_elmsect - reads len bytes at offset of the motherboard FRU EEPROM section into buf
 *
 * The section is 16384 bytes, on I2C bus 4 at device 0xA0, 16-bit offsets, read 64 bytes at a time.  The
 * installation history uses bytes 0 to 245 and 3184 to 4302 (man 3 libarkblade-instrec).
 *
 * Returns: -1 when offset + len exceeds 16384 (nothing reaches the bus); otherwise the I2C library's
 * result, negative on failure.
 */
int arkbp_read_mbfruid_elmsect(uint8_t *buf, unsigned len, unsigned offset);

/*
 * arkbp_write_mbfruid_elmsect - writes len bytes from buf at offset of the motherboard FRU EEPROM section
 *
 * As arkbp_read_mbfruid_elmsect, written 32 bytes at a time.  Writing to bytes 0 to 245 or 3184 to 4302
 * can damage the installation history.
 *
 * Returns: -1 when offset + len exceeds 16384 (nothing written); otherwise the I2C library's result,
 * negative on failure.
 */
int arkbp_write_mbfruid_elmsect(const uint8_t *buf, unsigned len, unsigned offset);

/*
 * == Installation record ==  (man 3 libarkblade-instrec)
 *
 * The blade keeps in its motherboard FRU EEPROM section the history of the chassis slots it was installed
 * in.  The section header and segment directory take bytes 0 to 245; the directory places the InstallR
 * segment "FD" at bytes 3195 to 6143, of which the history uses 3195 to 4302: a ring of five 219-byte
 * InstallationR records (time, "/CH/BL<slot>", the chassis's part number, serial number and dash level)
 * with its header, 3195 to 4297, then the checksum trailer, 4298 to 4302.  The ring is rewritten from
 * 3184, the 11 bytes before it written back as read.  arkb_initialize adds a record when the chassis or
 * the slot differs from the newest one (see arkb_instrec_update for how that is compared).  No lock is
 * taken: one process at a time should write the section.
 */

/*
 * get_manr_info - the chassis's manufacturing record, which names the blade's parent
 *
 * Reads 2048 bytes of the chassis FRU data through the tunnel (target 0xAA, offset 0x1800), finds the
 * manufacturing record in its "SD" segment and copies the record's payload to out: as many bytes as
 * its tag header gives, at most 183 (a record claiming more counts as none); out must hold at least 183
 * bytes.  Payload bytes 148 to 154 hold the chassis part number, 155 to 160 its serial
 * number, 163 and 164 its dash level, as characters without terminators.
 *
 * Returns: 0; the tunnel read's negative result; -1 when there is no record or its fields cannot be
 * decoded.  out is untouched on failure.  Blocks for one 2 KB tunnel read.
 */
int get_manr_info(uint8_t *out);

/*
 * arkb_instrec_update - records the current installation in the history
 *
 * Creates the InstallR segment when the section has none, reads the chassis identity (get_manr_info) and
 * compares it with the newest record: when the part number, serial number or dash level differs, or the
 * record's Fru_Path does not begin with "/CH/BL<slot>" for the slot in "slotid", it writes a new record,
 * overwriting the oldest of a full ring.  The path is compared over the new path's length only, so a
 * blade moved from slot 17 to slot 1 gets no new record.  The new record's path takes the slot from the
 * midplane (arkb_read_slotid), not from "slotid".  arkb_initialize calls it unless /persist/node1 is
 * readable.
 *
 * Returns: 0 when the history is up to date (a record was added, or the newest one already matches this
 * installation); -1 on failure (logged, line 506 for the segment, 511 for the record): no "slotid", an
 * EEPROM access failed, the midplane slot read failed, no manufacturing record, or a directory count of
 * 24 or more without "FD" among the first 24 descriptors.  A blank EEPROM reads 0xFF, a count of 255: such
 * a blade fails with line 506 at every start-up and never gets a history.
 *
 * Power loss.  The ring is sent as one 1119-byte write at 3184 (bytes 3184 to 4302), which the bus takes
 * as 36 page writes.  A power loss part-way leaves a ring that mixes old and new bytes under a checksum
 * that matches neither; the library never verifies that checksum, and the next update keeps the ring as
 * it finds it, so the history may then print records of 0xFF bytes (arksim fru shows the checksum as bad
 * and those records as they are).  Creating the segment is four writes (descriptor, directory count,
 * ring header, checksum trailer): an interruption between them leaves those done, and the next update
 * goes on from what it finds.
 *
 * Blocks: about 1.2 KB of EEPROM and 2 KB of tunnel reads on every call, and the 1119-byte EEPROM write
 * when a record is added.
 */
int arkb_instrec_update(void);

/*
 * print_installr_struct - prints one InstallationR record on standard output
 *
 * record points at the 219 bytes of a record; n is the number printed in brackets.  Five lines:
 * /InstallationR[n]/UNIX_Timestamp32= (local time, as asctime prints it), Fru_Path=, Parent_Part_Number=,
 * Parent_Serial_Number= and Parent_Dash_Level=.
 *
 * Returns: the result of printing the last line (characters written, negative on an output error).
 */
int print_installr_struct(const uint8_t *record, int n);

/*
 * printf_installationR - prints the whole installation history on standard output
 *
 * Reads the ring (EEPROM bytes 3195 to 4297, read only) and prints every record with
 * print_installr_struct, oldest first, numbered from 0, each followed by an empty line.  An empty ring
 * still prints one block, slot 0 as the EEPROM holds it.
 *
 * Returns: 0; -1 when the EEPROM cannot be read (nothing printed).
 */
int printf_installationR(void);

/*
 * arkb_instrec_test - the history dump as a test entry point
 *
 * Runs printf_installationR; when that fails, prints the line "errrr".
 *
 * Returns: 0 after a dump; after a failed dump the result of printing "errrr" (6, or -1 on an output
 * error), so test for 0.
 */
int arkb_instrec_test(void);

/*
 * == Network configuration mailbox ==  (man 3 libarkblade-netconf)
 *
 * The SP and the CMM exchange the SP's network settings through the net_info record, 32 bytes in the
 * tunnel block memory of the blade's slot (at offset 80 in a mailbox this library made).  Record byte 0
 * is the request byte (the CMM sets 1 for a run-time request, 2 for settings left at start-up), byte 1 the
 * grant byte, bytes 2 to 14 the ip section, 15 to 20 the MAC address.  A program fills a netconf_handle
 * once and passes it to the other functions.  Applying settings to the network interface is the caller's
 * business.  Nothing coordinates two SP processes serving the same mailbox.
 */

/*
 * netconf_handle - where the mailbox is: filled by arkb_netconf_get_handle
 */
typedef struct netconf_handle {
    uint8_t slotid;     /* slot number from memstore "slotid" */
    uint32_t signature; /* segment signature read at fill time (0xC055) */
    uint32_t offset;    /* tunnel offset of the net_info record */
} netconf_handle;

/*
 * netconf_settings - network settings taken from or published to the mailbox
 */
typedef struct netconf_settings {
    uint32_t ipaddr;     /* octets in network order, as in the mailbox */
    uint32_t ipgway;     /* octets in network order */
    uint32_t ipnetmask;  /* octets in network order */
    int32_t ipdiscovery; /* 1 dhcp, 2 static, 0 unknown */
} netconf_settings;

/*
 * arkb_netconf_initialize - makes the mailbox usable
 *
 * In the tunnel block memory of the slot in "slotid": writes the tunnel header (bytes 0 to 15), the
 * segment signature 0xC055 (78, 79) and trailer when the header does not name the netconf segment or the
 * signature is not 0xC055.  Then, unless record byte 21 holds 0x0C (the record marker, which is the
 * "formatted already" test), formats the 32-byte net_info record: byte 6 (ipdiscovery) 2 (static), byte
 * 21 0x0C, all else 0.  Settings left in a formatted record survive an SP restart.  It writes without
 * looking at the request bytes.  arkb_initialize and arkb_netconf_test call it.
 *
 * Returns: 0 when the mailbox is ready; -1 (not logged) when "slotid" cannot be read, a tunnel access
 * fails, or the header read back after writing it has byte 0 other than 0x08.  Writes made before a
 * failure stay.
 */
int arkb_netconf_initialize(void);

/*
 * arkb_netconf_get_handle - fills *h for the other mailbox functions
 *
 * Clears *h, reads "slotid" into h->slotid (printing "err slotid" on standard output when it cannot, and
 * going on with 0), then reads the tunnel header and the segment signature.  It writes nothing.  Only
 * header byte 6 ('N') is checked, not the signature: h->signature holds what was read.  A handle
 * describes the mailbox as found: arkb_netconf_initialize (also run by arkb_initialize and
 * arkb_netconf_test) may rewrite the header and move the segment, and a move to another slot changes the
 * slot; fill the handle again after either.
 *
 * Returns: 0 with all fields filled; -1 when h is NULL, a tunnel read fails or there is no mailbox
 * (signature and offset are then 0).
 */
int arkb_netconf_get_handle(netconf_handle *h);

/*
 * arkb_netconf_check_req - takes the CMM's run-time request for new settings, if one is pending
 *
 * Reads the request byte in one single-byte transaction; cheap enough to poll.  When it is 1, writes the
 * grant byte 1 and waits for the CMM to fill in the settings and lower both bytes: up to 8 reads of the
 * record, with 2 s of sleep after each one that does not find both at 0.  Then fills *s.
 *
 * Returns: 1 when a request was granted and its settings are in *s; 0 when no request is pending or the
 * read of the request byte fails (*s untouched, nothing written), the grant could not be written, h or s
 * is NULL, or the CMM did not finish in time (*s zeroed; when both bytes are still raised the SP lowers
 * them).  Never negative.
 *
 * Blocks: not at all when idle.  After a grant the first read of the record follows at once, so a
 * request the CMM serves takes at least one 2 s sleep, and at most 8 x 2 s.
 */
int arkb_netconf_check_req(const netconf_handle *h, netconf_settings *s);

/*
 * arkb_netconf_initial_check - takes the settings that the CMM left for the SP's start-up
 *
 * Reads the record once.  When the request byte is 2 and the grant byte holds the check of the ip section
 * (the sum of record bytes 2 to 14 modulo 256, 0 taken as 255), fills *s.  Whenever the record could be
 * read it lowers both bytes, a pending run-time request included: call it once at start, before polling
 * arkb_netconf_check_req.
 *
 * Returns: 1 with *s filled; 0 otherwise, also when h or s is NULL (*s untouched).  Never negative.
 */
int arkb_netconf_initial_check(const netconf_handle *h, netconf_settings *s);

/*
 * arkb_netconf_publish_ip - publishes the SP's current settings for the CMM
 *
 * Writes the 13-byte ip section (record bytes 2 to 14: address, discovery, gateway, netmask, octets in
 * network order) from *s; the request bytes and the rest of the record are not touched.
 *
 * Returns: 0; -1 when s->ipdiscovery is neither 1 (dhcp) nor 2 (static) (nothing written, not logged), h
 * or s is NULL, or the write fails (logged).
 */
int arkb_netconf_publish_ip(const netconf_handle *h, const netconf_settings *s);

/*
 * arkb_netconf_publish_macaddr - publishes the SP's MAC address for the CMM
 *
 * Writes the 6 bytes at mac, first octet first, to record bytes 15 to 20.
 *
 * Returns: 0; -1 when h or mac is NULL or the write fails (logged).
 */
int arkb_netconf_publish_macaddr(const netconf_handle *h, const uint8_t *mac);

/*
 * arkb_netconf_test - prints the mailbox on standard output
 *
 * Prints the slot from "slotid" ("err slotid" and slot 0 when it cannot be read), then runs
 * arkb_netconf_initialize (which may write the mailbox), then prints whether the mailbox is initialized,
 * the record offset and every field of the net_info record, one per line.  For diagnosis,
 * not for programs: failures show as lines such as "err init".
 *
 * Returns: 0, always.
 */
int arkb_netconf_test(void);

/*
 * == Power budgeting ==  (man 3 libarkblade-power)
 *
 * The blade's power budget (hardware-configuration power and permitted power, in watts) is cached in
 * memstore "ARKB/PWRBUDGET"; the blade's current allotment is "available_power" and the last decision
 * "ARKB/PWRDEC".  Before the blade powers on, a program asks arkb_pwr_poweron for the watts it needs:
 * what fits in the allotment is admitted at once, more is asked of the override file
 * /conf/override_powerctl, the CMM (TCP, 169.254.10.1 port 880) and the sensors, in that order.  Wait
 * for arkb_pwr_decision_ready before deciding.
 */

/*
 * arkb_pwr_budget - a power budget, host order; stored big-endian in memstore
 */
typedef struct arkb_pwr_budget {
    uint16_t hwconfig_power;  /* watts of the blade's hardware configuration */
    uint16_t permitted_power; /* watts permitted; stored and read back only */
} arkb_pwr_budget;

/*
 * ARKB_PWR_* - admission modes, the request for the cached budget, and the admission results
 *
 * ARKB_PWR_MODE_ASK refuses with ARKB_PWR_NO_ANSWER when nobody answers, ARKB_PWR_MODE_ADMIT_ON_SILENCE
 * admits then, ARKB_PWR_MODE_ADMIT_ALL admits every request without asking anybody.
 * ARKB_PWR_HWCONFIG_WATTS as the watts requests the cached hardware-configuration power.
 */
#define ARKB_PWR_MODE_ASK 0
#define ARKB_PWR_MODE_ADMIT_ON_SILENCE 1
#define ARKB_PWR_MODE_ADMIT_ALL 2
#define ARKB_PWR_HWCONFIG_WATTS 0x7FFFFFFF
#define ARKB_PWR_ADMITTED 0
#define ARKB_PWR_NO_BUDGET (-8)
#define ARKB_PWR_REFUSED (-10)
#define ARKB_PWR_NO_ANSWER (-17)

/*
 * arkb_pwr_get_budget - the cached power budget
 *
 * Reads memstore "ARKB/PWRBUDGET" (4 bytes: the two figures, big-endian) into *b.
 *
 * Returns: 0; -1 when b is NULL or no budget was ever published on this SP.
 */
int arkb_pwr_get_budget(arkb_pwr_budget *b);

/*
 * arkb_get_hwconfig_power - the cached hardware-configuration power, in watts
 *
 * This is the figure that ARKB_PWR_HWCONFIG_WATTS requests.  Reads memstore only.
 *
 * Returns: 0 to 65535; 0 when there is no cached budget.
 */
int arkb_get_hwconfig_power(void);

/*
 * arkb_get_permitted_power - the cached permitted power, in watts
 *
 * Reads memstore only; nothing in the library acts on this figure.
 *
 * Returns: 0 to 65535; 0 when there is no cached budget.
 */
int arkb_get_permitted_power(void);

/*
 * arkb_pwr_get_hwconfig_power - the hardware-configuration power published for the slot now
 *
 * Reads the budget over the power I2C path, not the cache, and writes nothing.  It differs from
 * arkb_get_hwconfig_power before the cache is filled (that one gives 0) and after the published figure
 * changed (the admission refills a missing cache but never refreshes one).  Use arkb_get_hwconfig_power
 * for what an admission will request, this one to see what the hardware says.
 *
 * Returns: 0 to 65535; -1 when there is no slot number or the I2C read fails.
 */
int arkb_pwr_get_hwconfig_power(void);

/*
 * arkb_pwr_publish_budget - stores a power budget and publishes it
 *
 * Writes the SP's uptime to memstore "arkb_pwrpubtime" and *b to "ARKB/PWRBUDGET", on every call.  When
 * the hardware-configuration power differs from the cached one, or nothing was cached, it also publishes
 * that figure over the power I2C path; the permitted power never goes out.
 *
 * Returns: 0; -1 when b is NULL (nothing written, not logged), when the "arkb_pwrpubtime" write fails
 * (logged; the budget is not written), when the "ARKB/PWRBUDGET" write fails (logged; the new
 * publication time stays), or when there is no slot number or the I2C publication fails (logged; both
 * keys stay written).  Once "arkb_pwrpubtime" is written, arkb_pwr_decision_ready gives 0 for 15 s.
 */
int arkb_pwr_publish_budget(const arkb_pwr_budget *b);

/*
 * arkb_pwr_decision_ready - whether a power decision may be taken now
 *
 * Not a status: 1 means yes, 0 means wait and ask again.  Reads "ARKB/CMMREADY" and "arkb_pwrpubtime".
 *
 * Returns: 1 when the CMM is ready (arkb_is_cmm_ready) and more than 15 s have passed since the last
 * budget publication, or no budget was ever published; 0 when the CMM is not ready or the last
 * publication is 15 s old or less.  Readiness is recorded only by arkb_update_cmm_ready: until some SP
 * program calls it, this gives 0.
 */
int arkb_pwr_decision_ready(void);

/*
 * arkb_get_available_power - the blade's current power allotment, in watts
 *
 * Reads memstore "available_power", which every admission rewrites: the watts admitted or granted, or 0
 * after a refusal or a power-off.
 *
 * Returns: the allotment; -1 when there has been no admission yet (the key is missing, as on a freshly
 * started SP); 0 when the key cannot be read, which it then rewrites as 0.
 */
int arkb_get_available_power(void);

/*
 * arkb_pwr_getdecision - the decision of the last admission of a nonzero power
 *
 * Stores the last byte of memstore "ARKB/PWRDEC" in *decision: 1 allowed, 0 refused.  Power-offs do not
 * change it.
 *
 * Returns: 0; -1 when decision is NULL or no such admission has happened.
 */
int arkb_pwr_getdecision(uint8_t *decision);

/*
 * arkb_pwr_poweron_node - asks whether the blade may draw watts
 *
 * node is accepted and not used.  First, when "ARKB/PWRBUDGET" is missing, refills it from the budget
 * published for the slot (power I2C path) through arkb_pwr_publish_budget, which writes "ARKB/PWRBUDGET"
 * and "arkb_pwrpubtime" and publishes the figure over I2C: arkb_pwr_decision_ready gives 0 for 15 s after
 * a first admission.  When the refill fails (no slot number, the I2C read fails) it logs "Error Updating
 * cached budget" and goes on; a failed publication logs arkb_pwr_publish_budget's line and "Error
 * Publishing budget".  ARKB_PWR_HWCONFIG_WATTS requests the cached hardware-configuration power.  Then the
 * first case that applies:
 *   - watts at most the allotment (a repeated power-on), or mode ARKB_PWR_MODE_ADMIT_ALL: admitted;
 *   - /conf/override_powerctl exists: admitted;
 *   - the CMM answers (arkb_pwr_cmm_request_power, for the whole request, 0 or more): the grant becomes
 *     the allotment, admitted when it equals watts, else ARKB_PWR_REFUSED (fewer or more watts, or a
 *     refusal);
 *   - the sensors' ok-to-power-on state says yes (1): admitted; no (2): ARKB_PWR_REFUSED.  The state is
 *     the broadcast P_OVER_WARN value in memstore, however old it is; sensor 41 is asked only when that
 *     value cannot be read, and any other state counts as no answer;
 *   - nobody answers: admitted in ARKB_PWR_MODE_ADMIT_ON_SILENCE, else ARKB_PWR_NO_ANSWER; every mode
 *     other than 1 and 2 is ARKB_PWR_MODE_ASK.
 * Besides its own line, an admission may log the CMM client's lines (priority 2) and the sensor path's
 * ("Error memstore_get(<key>) failed" when the broadcast value is missing).
 *
 * Returns: ARKB_PWR_ADMITTED (0), ARKB_PWR_REFUSED (-10), ARKB_PWR_NO_ANSWER (-17), or ARKB_PWR_NO_BUDGET
 * (-8) when ARKB_PWR_HWCONFIG_WATTS was asked for without a cached budget (nothing written then).
 *
 * Writes: "available_power" (the watts admitted, the grant, or 0 when refused; an admission replaces a
 * larger allotment) and, when watts is not 0, "ARKB/PWRDEC" (1 or 0).  Write failures are not reported.
 *
 * Blocks: while it waits for the CMM, with no time-out (arkb_pwr_cmm_request_power: minutes on a silent
 * network, forever behind a CMM that never answers); otherwise only for memstore and I2C calls.
 */
int arkb_pwr_poweron_node(int node, int watts, int mode);

/*
 * arkb_pwr_poweron - arkb_pwr_poweron_node(0, watts, mode)
 *
 * Returns, writes and blocks as arkb_pwr_poweron_node.
 */
int arkb_pwr_poweron(int watts, int mode);

/*
 * arkb_pwr_poweroff - sets the blade's allotment to 0
 *
 * The admission of 0 watts in mode ARKB_PWR_MODE_ADMIT_ON_SILENCE.  With an allotment it writes 0 to
 * "available_power" and asks nobody: nothing is given back to the CMM's pool.  Without one (no admission
 * yet) it runs the whole admission, asking the CMM for 0 watts and blocking as the admission does.
 * "ARKB/PWRDEC" keeps its value.
 *
 * Returns: 0 (ARKB_PWR_ADMITTED) with an allotment; otherwise as arkb_pwr_poweron_node.
 */
int arkb_pwr_poweroff(void);

/*
 * arkb_pwr_cmm_request_power - asks the CMM for watts over the chassis network
 *
 * Connects over TCP to vlan_ipaddrs[0] (169.254.10.1), port 880, sends "PWR <watts>\n" and its NUL, and
 * reads one NUL-terminated reply: "OK <n>" grants n watts, "NO" refuses.  Up to three attempts, one after
 * the other, until one gives a result of 0 or more.  Failures are written straight to syslog at priority
 * 2 (LOG_CRIT) with no facility bits, as "libarkblade_power_cmm:function:line: text", e.g.
 * "libarkblade_power_cmm:request_power:122: Can't connect socket, errno = 111".  No memstore key is
 * written; the admission does that.
 *
 * Returns: the number after "OK" (0 or more is a grant; "OK -5" gives -5, after three attempts), 0 for
 * "NO"; -1 when no attempt got an answer, or the reply was "OK" without a number or was not recognised.
 *
 * Blocks: no time-out is set.  On a silent network each connect waits out the kernel's SYN retries
 * (about 127 s with Linux defaults, about 6 minutes for the three attempts); behind a CMM that accepts
 * and never answers, the receive waits forever.  Do not call it from a process that must stay
 * responsive.
 */
int arkb_pwr_cmm_request_power(int watts);

/*
 * arkb_pwr_unit_test - the power budgeting self-test, on the live system
 *
 * Prints the budget figures on standard output, runs two real admissions (100 and 50000 watts, mode
 * ARKB_PWR_MODE_ASK) and the power I2C self-test, then powers off.  It may block on the CMM, and it leaves
 * "available_power" at 0 and "ARKB/PWRDEC" as the 50000-watt admission set it.
 *
 * Returns: -1 when there is no slot number (nothing done), else 0.
 */
int arkb_pwr_unit_test(void);

/*
 * vlan_ipaddrs - the chassis-network IPv4 addresses, dotted-decimal
 *
 * 98 entries, no NULL at the end, all in 169.254.10.0/24: 169.254.10.1 to .4, .16 to .27, .200 to .209,
 * .28 to .39 and .100 to .159, in that order.  Entry 0 is the CMM's address, the only one the library
 * uses.  Read only.
 */
extern const char *vlan_ipaddrs[98];

/*
 * == Thermal control ==  (man 3 libarkblade-thermal)
 *
 * The thermal control setting is a number that SP programs set and read; the library derives the thermal
 * override from it: the setting 4 needs the override on, every other setting needs it off.
 */

/*
 * arkb_set_tcontrol - stores the thermal control setting and brings the thermal override into line
 *
 * Writes memstore "tcontrol" (4 bytes, big-endian), any value accepted.  Then, from "therm_ovrd": when
 * the override is unreadable it is switched off first; when it is off and value is 4 it is switched on,
 * when it is on and value is not 4 it is switched off (arkb_set_thermovrd: the override register and
 * "therm_ovrd").  A stored override byte of 255 counts as unreadable and is switched off; a byte other
 * than 0, 1 and 255 is left as it is.
 *
 * Returns: 0; -1 when memstore refuses (logged; override untouched) or switching fails (logged; the
 * setting stays stored, and a later call with it tries again).
 */
int arkb_set_tcontrol(int32_t value);

/*
 * arkb_get_tcontrol - the thermal control setting
 *
 * Reads memstore "tcontrol" into *value.
 *
 * Returns: 0; -1 when it was never set or cannot be read.
 */
int arkb_get_tcontrol(int32_t *value);

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

#ifdef __cplusplus
}
#endif

#endif /* ARKBLADE_H */
