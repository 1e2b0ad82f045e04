################################################################################
#
# buttond
#
################################################################################

BUTTOND_VERSION = 1.02
# In the daemon's checkout this package is dist/buildroot/package/buttond
# and the checkout is the site. A copy in another external tree is told
# where the sources are: BUTTOND_SITE in local.mk (which Buildroot reads
# before the packages), in the environment or on make's command line, or
# Buildroot's own BUTTOND_OVERRIDE_SRCDIR in local.mk.
BUTTOND_CHECKOUT := $(realpath $(pkgdir)/../../../..)
ifeq ($(realpath $(pkgdir)),$(BUTTOND_CHECKOUT)/dist/buildroot/package/buttond)
ifneq ($(wildcard $(BUTTOND_CHECKOUT)/daemon/main.cpp),)
BUTTOND_SITE ?= $(BUTTOND_CHECKOUT)
endif
endif
BUTTOND_SITE ?= $(BUTTOND_OVERRIDE_SRCDIR)
ifeq ($(BUTTOND_SITE),)
ifeq ($(BR2_PACKAGE_BUTTOND),y)
$(error buttond: set BUTTOND_SITE to the buttond source tree (local.mk, environment or make command line))
endif
# Not selected: Buildroot still wants a site for every local package.
BUTTOND_SITE = /BUTTOND_SITE-not-set
endif
BUTTOND_SITE_METHOD = local
BUTTOND_LICENSE = MIT
BUTTOND_LICENSE_FILES = LICENSE
# The start-up file comes from the init system's hook below, so an image
# gets the script or the unit, never both.
BUTTOND_CONF_OPTS = \
	-DBUTTOND_BOARD=target \
	-DBUTTOND_INSTALL_SYSV=OFF \
	-DBUTTOND_INSTALL_SYSTEMD=OFF

ifeq ($(BR2_PACKAGE_BUTTOND_PROBE),y)
BUTTOND_CONF_OPTS += -DBUTTOND_PROBE=ON
else
BUTTOND_CONF_OPTS += -DBUTTOND_PROBE=OFF
endif

define BUTTOND_INSTALL_INIT_SYSV
	$(INSTALL) -D -m 0755 $(BUTTOND_BUILDDIR)/S50buttond \
		$(TARGET_DIR)/etc/init.d/S50buttond
endef

define BUTTOND_INSTALL_INIT_SYSTEMD
	$(INSTALL) -D -m 0644 $(BUTTOND_BUILDDIR)/buttond.service \
		$(TARGET_DIR)/usr/lib/systemd/system/buttond.service
endef

$(eval $(cmake-package))
