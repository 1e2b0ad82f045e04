SUMMARY = "Push-button maintenance daemon of the board"
DESCRIPTION = "Watches the board's push-button through memory-mapped GPIO. \
Holding it four seconds enters selection mode; the number of presses that \
follow picks a maintenance action (statistics report, check-in request, \
wireless provisioning markers, factory reset)."
SECTION = "base"
LICENSE = "MIT"
LIC_FILES_CHKSUM = "file://LICENSE;md5=dcec83f9225d4aedfd9768c48de4ed77"

# Fetched with git from the checkout this layer sits in (BUTTOND_SRCDIR, from
# layer.conf) and unpacked as ${BP}: the default S of every series, that is
# ${WORKDIR}/${BP} up to walnascar (styhead and walnascar move it there from
# UNPACKDIR) and ${UNPACKDIR}/${BP} from whinlatter, which refuses S = .../git.
SRC_URI = "git://${BUTTOND_SRCDIR};protocol=file;branch=main;destsuffix=${BP}"
# The release commit goes here. While developing, "${AUTOREV}" follows the
# branch (on kirkstone with PV = "1.02+git${SRCPV}"); a working tree is built
# through externalsrc or devtool instead (the layer's README).
SRCREV = "010ce21adb060b6f6660d42dd27c816969a63901"

inherit cmake update-rc.d systemd

# The distro's init systems decide which start-up files CMake installs.
EXTRA_OECMAKE = "\
    -DBUTTOND_BOARD=target \
    -DBUTTOND_INSTALL_SYSV=${@bb.utils.contains('DISTRO_FEATURES', 'sysvinit', 'ON', 'OFF', d)} \
    -DBUTTOND_INSTALL_SYSTEMD=${@bb.utils.contains('DISTRO_FEATURES', 'systemd', 'ON', 'OFF', d)} \
    -DBUTTOND_INIT_SCRIPT=${INITSCRIPT_NAME} \
    -DBUTTOND_SYSTEMD_UNITDIR=${systemd_system_unitdir} \
"

# The board: 32-bit big-endian PowerPC.
COMPATIBLE_HOST = "powerpc-.*-linux.*"

INITSCRIPT_NAME = "buttond"
INITSCRIPT_PARAMS = "defaults 50"

SYSTEMD_SERVICE:${PN} = "buttond.service"

# The bring-up check, a package of its own for development and factory
# images: IMAGE_INSTALL:append = " buttond-probe". Its man page goes with
# the daemon's into ${PN}-doc.
PACKAGES =+ "${PN}-probe"
SUMMARY:${PN}-probe = "Bring-up check of the board's button and LEDs for buttond"
FILES:${PN}-probe = "${sbindir}/buttond-probe"
