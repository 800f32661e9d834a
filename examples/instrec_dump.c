/*
 * instrec_dump - the blade's installation history: where it has been installed, oldest first
 *
 *   instrec_dump [--update]
 *
 * Prints the chassis the blade is in now (its manufacturing record, read through the midplane tunnel),
 * then the history kept in the FRU EEPROM.  --update first records the current installation, as start-up
 * does (arkb_instrec_update); without it the program only reads.
 *
 * Exit status: 0, or 1 when the history cannot be read.  Under the simulator: arksim run -- ./instrec_dump
 */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <arkblade.h>

int main(int argc, char **argv)
{
    uint8_t manr[192]; /* at least 183 bytes: the record's payload */

    if (argc > 2 || (argc == 2 && strcmp(argv[1], "--update") != 0)) {
        fprintf(stderr, "usage: instrec_dump [--update]\n");
        return 2;
    }
    if (argc == 2 && arkb_instrec_update() != 0)
        fprintf(stderr, "instrec_dump: the current installation could not be recorded (see the log)\n");

    /* Part number at 148 (7 characters), serial number at 155 (6), dash level at 163 (2). */
    if (get_manr_info(manr) == 0)
        printf("chassis: part %.7s serial %.6s dash %.2s\n\n", (const char *)manr + 148,
               (const char *)manr + 155, (const char *)manr + 163);
    else
        printf("chassis: no manufacturing record\n\n");

    /* One block of five lines per record, /InstallationR[n]/..., each followed by an empty line. */
    fflush(stdout);
    if (printf_installationR() != 0) {
        fprintf(stderr, "instrec_dump: the FRU EEPROM could not be read\n");
        return 1;
    }
    return 0;
}
