# Reads the package as Buildroot does: the configuration from the command
# line (BR2_PACKAGE_BUTTOND=y), local.mk (BR2_PACKAGE_OVERRIDE_FILE) before
# any package, then the external tree's external.mk with cmake-package
# stubbed out. Targets:
#   vars                    the site, hash file and configure options, as shell words
#   init-sysv init-systemd  the init system's install hook
# Pass BUTTOND_BUILDDIR and TARGET_DIR on the command line, and EXTERNAL for
# an external tree other than the checkout's.
EXTERNAL := $(or $(EXTERNAL),$(abspath $(dir $(lastword $(MAKEFILE_LIST)))/../buildroot))
-include $(BR2_PACKAGE_OVERRIDE_FILE)
BR2_EXTERNAL_$(shell sed -n 's/^name: *//p' $(EXTERNAL)/external.desc)_PATH := $(EXTERNAL)
pkgdir = $(patsubst %/,%,$(dir $(lastword $(MAKEFILE_LIST))))
INSTALL = install
# Where Buildroot takes the hash file from, and its check on every local
# package, selected or not.
define cmake-package
BUTTOND_PKGDIR := $(pkgdir)
$(if $(BUTTOND_SITE),,$(error buttond has local site method, but `BUTTOND_SITE` is not defined))
endef
include $(EXTERNAL)/external.mk

vars:
	@echo 'site=$(BUTTOND_SITE) hash=$(BUTTOND_PKGDIR)/buttond.hash license_files="$(BUTTOND_LICENSE_FILES)" conf_opts="$(strip $(BUTTOND_CONF_OPTS))"'
init-sysv:
	$(BUTTOND_INSTALL_INIT_SYSV)
init-systemd:
	$(BUTTOND_INSTALL_INIT_SYSTEMD)
