include $(sort $(wildcard $(BR2_EXTERNAL_BUTTOND_PATH)/package/*/*.mk))
