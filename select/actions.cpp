#include "select/actions.h"

#include <syslog.h>

#include "board/leds.h"
#include "util/os.h"

// Indexed by action number; exit statuses are never looked at.
static const char* const ACTIONS[] = {
	nullptr,
	"/bin/tallyrep -auto &> /dev/null",
	"/bin/tallyrep -i -l -s buttonpush &> /dev/null",
	"echo \"User Button Checkin\" > /tmp/tesk_trigger 2> /dev/null",
	"touch /etc/vorn/wireless/FORCE_PROVISIONING &> /dev/null",
	"touch /etc/vorn/wireless/FORCE_PRL &> /dev/null",
	"/bin/sh /etc/vorn/recovery/firstboot/factory_reset &> /dev/null",
};
static const uint32_t ACTION_COUNT = sizeof ACTIONS / sizeof ACTIONS[0];

void RunAction(uint32_t action)
{
	OsSyslog(LOG_NOTICE, "Running Command for Action %d.", action);
	ShowLedPattern(LED_BLINK_SHOWN);
	SignalLightsNormal();
	if (action >= 1 && action < ACTION_COUNT) {
		OsSystem(ACTIONS[action]);
		// What the command wrote would sit in the page cache until
		// writeback, seconds on a board's flash: a power cut soon after
		// the lights went back to normal would lose a marker.
		OsSync();
	} else
		OsSyslog(LOG_NOTICE, "No command ro run: %d", action);
}

void SignalLightsSelect()
{
	OsSystem("killall -SIGUSR1 lumend &> /dev/null");
}

void SignalLightsNormal()
{
	OsSystem("killall -SIGUSR2 lumend &> /dev/null");
}
