# Reads the package as Buildroot does, through external.mk, with
# cmake-package stubbed out. Targets:
#   vars                    the site and configure options, as shell words
#   init-sysv init-systemd  the init system's install hook
# Pass BUTTOND_BUILDDIR and TARGET_DIR on the command line.
BR2_EXTERNAL_BUTTOND_PATH := $(abspath $(dir $(lastword $(MAKEFILE_LIST)))/../buildroot)
INSTALL = install
cmake-package =
include $(BR2_EXTERNAL_BUTTOND_PATH)/external.mk

vars:
	@echo 'site=$(BUTTOND_SITE) license_files="$(BUTTOND_LICENSE_FILES)" conf_opts="$(strip $(BUTTOND_CONF_OPTS))"'
init-sysv:
	$(BUTTOND_INSTALL_INIT_SYSV)
init-systemd:
	$(BUTTOND_INSTALL_INIT_SYSTEMD)
