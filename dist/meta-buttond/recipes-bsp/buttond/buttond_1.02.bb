SUMMARY = "Push-button maintenance daemon of the board"
DESCRIPTION = "Watches the board's push-button through memory-mapped GPIO. \
Holding it four seconds enters selection mode; the number of presses that \
follow picks a maintenance action (statistics report, check-in request, \
wireless provisioning markers, factory reset)."
SECTION = "base"
LICENSE = "MIT"
LIC_FILES_CHKSUM = "file://LICENSE;md5=dcec83f9225d4aedfd9768c48de4ed77"

# Built from the source tree this layer ships in.
EXTERNALSRC = "${BUTTOND_SRCDIR}"

inherit cmake externalsrc update-rc.d systemd

EXTRA_OECMAKE = "\
    -DBUTTOND_BOARD=target \
    -DBUTTOND_INIT_SCRIPT=${INITSCRIPT_NAME} \
    -DBUTTOND_SYSTEMD_UNITDIR=${systemd_system_unitdir} \
"

# The board: 32-bit big-endian PowerPC.
COMPATIBLE_HOST = "powerpc-.*-linux.*"

INITSCRIPT_NAME = "buttond"
INITSCRIPT_PARAMS = "defaults 50"

SYSTEMD_SERVICE:${PN} = "buttond.service"
