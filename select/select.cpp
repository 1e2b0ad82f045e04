#include <syslog.h>

#include "board/button.h"
#include "board/leds.h"
#include "daemon/globals.h"
#include "select/actions.h"
#include "select/timer.h"
#include "util/os.h"

static const unsigned POLL_US = 80000;
static const uint32_t WINDOW_SECONDS = 5;
static const uint32_t COUNT_LIMIT = 15;

void SelectAction()
{
	uint32_t count = 0;
	selectTimer->SetTimeout(WINDOW_SECONDS);
	selectTimer->Start();
	// Whatever latched before selection mode is not a selection press.
	ClearButtonEvent();

	while (selectTimer->IsActive()) {
		OsUsleep(POLL_US);
		// A press counts once it is latched and the button is up again,
		// so a press held across several polls counts once.
		if (!HasButtonBeenPressed() || IsButtonPressed())
			continue;
		count++;
		if (debugLevel != 0)
			OsSyslog(LOG_NOTICE, " Button Pressed %d", count);
		if (count > COUNT_LIMIT) {
			count = 0;
			selectTimer->Stop();
		} else {
			selectTimer->Start();
		}
		ClearButtonEvent();
		ShowLedPattern(count);
	}

	if (count != 0)
		RunAction(count);
	else
		OsSyslog(LOG_NOTICE, " No Command selected. Clearing.");
}
