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
// A wake-up this much past its time was late: something else had the CPU.
static const uint32_t LATE_MS = 10;
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
		// Cleared before the LEDs show the count: a person may press again
		// the moment they see it, and that press must latch after the clear.
		ClearButtonEvent();
		Timer sinceClear(TIMER_MILLISECONDS);
		sinceClear.Start();
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
		// Once that is over, its edges latched since go too, so the press
		// does not count again. Not if the button is down again: the next
		// press, whose edge the latch keeps. Nor if the CPU was busy and
		// this wake-up came late: a whole press may have come and gone
		// meanwhile, and the latch is all that tells of it.
		OsUsleep(SETTLE_US);
		if (sinceClear.Elapsed() <= SETTLE_US / 1000 + LATE_MS && !IsButtonPressed())
			ClearButtonEvent();
	}

	if (count != 0)
		RunAction(count);
	else
		OsSyslog(LOG_NOTICE, " No Command selected. Clearing.");
}
