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

// Up now, and still up once any chatter is over. An up reading alone may be
// a press just begun, its contact still chattering.
static bool IsButtonUpSettled()
{
	if (IsButtonPressed())
		return false;
	OsUsleep(SETTLE_US);
	return !IsButtonPressed();
}

void SelectAction()
{
	uint32_t count = 0;
	selectTimer->SetTimeout(WINDOW_SECONDS);
	selectTimer->Start();
	// The hold that opened selection mode may still be going on, or its
	// release still chattering; every edge of it latches, whichever edges
	// the board latches. Nothing counts until it is over, and what latched
	// until then goes with the clear. The window runs meanwhile.
	bool holdOver = false;

	while (selectTimer->IsActive()) {
		if (!holdOver && IsButtonUpSettled()) {
			ClearButtonEvent();
			holdOver = true;
		}
		OsUsleep(POLL_US);
		// A press counts once it is latched and the button is up again,
		// so a press held across several polls counts once. Up must still
		// read up once any chatter is over; if not, the press is still
		// going on and its latch stays for the release.
		if (!holdOver || !HasButtonBeenPressed() || !IsButtonUpSettled())
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
		ShowLedPattern(count);
		if (count == 0)
			continue;	// cancelled: the loop ends
		// The first up reading may have fallen in the press's own chatter
		// and the second in its release's, still going on: a short tap.
		// The clear waits until that is over too, so the chatter's edges
		// go with it instead of counting the press again. A button down
		// again by then is the next press, whose edge the latch keeps.
		OsUsleep(SETTLE_US);
		if (!IsButtonPressed())
			ClearButtonEvent();
	}

	if (count != 0)
		RunAction(count);
	else
		OsSyslog(LOG_NOTICE, " No Command selected. Clearing.");
}
