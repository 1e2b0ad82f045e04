#include <syslog.h>

#include "board/button.h"
#include "board/leds.h"
#include "daemon/globals.h"
#include "select/actions.h"
#include "select/timer.h"
#include "util/os.h"

static const unsigned POLL_US = 80000;
// A push-button's contact chatters for up to this long at each press and
// release, and every toggle latches. A level read inside the chatter can
// say up while the finger is still down.
static const unsigned SETTLE_US = 20000;
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
		// Up must still read up once any chatter is over. If not, the
		// press is still going on: its latch stays for the release. The
		// clear comes after this reading, so the chatter's own edges go
		// with it instead of counting the press again.
		OsUsleep(SETTLE_US);
		if (IsButtonPressed())
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
