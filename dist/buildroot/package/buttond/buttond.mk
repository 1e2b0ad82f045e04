################################################################################
#
# buttond
#
################################################################################

BUTTOND_VERSION = 1.02
# This external tree sits in the daemon's source tree, at dist/buildroot.
BUTTOND_SITE = $(BR2_EXTERNAL_BUTTOND_PATH)/../..
BUTTOND_SITE_METHOD = local
BUTTOND_LICENSE = MIT
BUTTOND_LICENSE_FILES = LICENSE
# The start-up file comes from the init system's hook below, so an image
# gets the script or the unit, never both.
BUTTOND_CONF_OPTS = \
	-DBUTTOND_BOARD=target \
	-DBUTTOND_INSTALL_SYSV=OFF \
	-DBUTTOND_INSTALL_SYSTEMD=OFF

define BUTTOND_INSTALL_INIT_SYSV
	$(INSTALL) -D -m 0755 $(BUTTOND_BUILDDIR)/S50buttond \
		$(TARGET_DIR)/etc/init.d/S50buttond
endef

define BUTTOND_INSTALL_INIT_SYSTEMD
	$(INSTALL) -D -m 0644 $(BUTTOND_BUILDDIR)/buttond.service \
		$(TARGET_DIR)/usr/lib/systemd/system/buttond.service
endef

$(eval $(cmake-package))
