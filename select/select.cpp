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

enum Settle { SETTLE_DOWN, SETTLE_MOVED, SETTLE_STILL };

// Microseconds on the monotonic clock, to time the contact's rest: the
// sleeps may end late, and their length is not to be assumed. A refused
// reading is waited out a poll at a time, never timed from. Only
// differences of a few rests are taken: 32 bits wrap in 71 minutes, and
// spare the board 64-bit arithmetic.
static uint32_t MonotonicUs()
{
	struct timespec ts;
	ReadMonotonicClock(ts);
	return uint32_t(ts.tv_sec) * 1000000 + uint32_t(ts.tv_nsec) / 1000;
}

// Did the contact lie still and up for a settle time? The latch is cleared,
// the button read up, and a settle time later read up again with nothing
// latched since. A contact that moved in between moved both ways, and one
// of the two edges latches whichever edges the board latches. The clock
// is read after the first reading and before the second: stillUs is the
// least time the contact lay still.
static Settle SettleUp(uint32_t& from, uint32_t& stillUs)
{
	ClearButtonEvent();
	if (IsButtonPressed())
		return SETTLE_DOWN;
	from = MonotonicUs();
	OsUsleep(SETTLE_US);
	stillUs = MonotonicUs() - from;
	if (IsButtonPressed())
		return SETTLE_DOWN;
	return HasButtonBeenPressed() ? SETTLE_MOVED : SETTLE_STILL;
}

// Up at a poll: is the press over? A release still chattering spoils a try;
// the next starts where it ended, so chatter costs a settle time, not a
// poll. The tries stop at a poll's length, for a contact that never rests.
static bool HasButtonSettledUp(uint32_t& from, uint32_t& stillUs)
{
	for (unsigned i = 0; i < POLL_US / SETTLE_US; i++) {
		Settle s = SettleUp(from, stillUs);
		if (s != SETTLE_MOVED)
			return s == SETTLE_STILL;
	}
	return false;
}

// A press shorter than its own chatter may read up, its contact lying still
// through a whole settle time, and chatter again after: at most twice the
// settle time from the first up reading. Once that is over, what it latched
// goes, however late this wake-up: chatter must never count as a press. A
// whole press that a busy CPU let come and go meanwhile cannot be told from
// it and goes too; the LEDs show the count, and the person presses again.
// The button is read after the clear: down then, it is the next press,
// begun before the clear or between the two.
static void ClearLateChatter(uint32_t from, uint32_t stillUs, bool& pressed)
{
	if (stillUs >= 2 * SETTLE_US)
		return;		// lay still longer than any chatter lasts
	uint32_t e = MonotonicUs() - from;
	if (e < 2 * SETTLE_US)
		OsUsleep(unsigned(2 * SETTLE_US - e));
	ClearButtonEvent();
	if (IsButtonPressed())
		pressed = true;
}

// Is the hold that opened selection mode over? It is once the button reads
// up: its release has begun, and its chatter is over a settle time later.
// What it latched goes then. A press the person began after that up
// reading is the first of the selection; one already down at the very
// first reading cannot be told from the hold.
static bool IsHoldOver(bool& pressed)
{
	if (IsButtonPressed())
		return false;
	OsUsleep(SETTLE_US);
	ClearButtonEvent();
	pressed = IsButtonPressed();
	return true;
}

// Set by the blink's last settle time: the hold was over, its contact still.
static bool holdEndedLit;

// The blink's last lit half period, us long. A person lets go as the LEDs
// blink and may press the moment they go dark; a rest taken after dark would
// clear a whole quick press away with the hold's chatter. So the hold is
// looked at here, in the last settle time before dark: a contact that lay
// still and up through it has ended its hold, and the selection counts from
// its first reading.
void LookAtHold(unsigned us)
{
	OsUsleep(us - SETTLE_US);
	ClearButtonEvent();
	bool up = !IsButtonPressed();
	// A sleep that returns 0 lasted its time.
	holdEndedLit = OsUsleep(SETTLE_US) == 0 && up && !IsButtonPressed() && !HasButtonBeenPressed();
}

void SelectAction()
{
	uint32_t count = 0;
	selectTimer->SetTimeout(WINDOW_SECONDS);
	selectTimer->Start();
	ClearButtonEvent();
	// The hold that opened selection mode may still be going on, or its
	// release still chattering; every edge of it latches, whichever edges
	// the board latches. Nothing counts until it is over. The window runs
	// meanwhile.
	bool holdOver = holdEndedLit;
	holdEndedLit = false;
	bool pressed = false;	// a press latched, not yet counted
	uint32_t from = 0, stillUs = 0;	// the last settle's rest

	while (selectTimer->IsActive()) {
		if (!holdOver)
			holdOver = IsHoldOver(pressed);
		OsUsleep(POLL_US);
		if (!holdOver)
			continue;
		// A press counts once it is latched and the button is up again,
		// so a press held across several polls counts once. The settle's
		// clears may take the latch while the press goes on: it is kept
		// here until the press counts.
		if (HasButtonBeenPressed())
			pressed = true;
		if (!pressed || IsButtonPressed() || !HasButtonSettledUp(from, stillUs))
			continue;
		pressed = false;
		count++;
		if (debugLevel != 0)
			OsSyslog(LOG_NOTICE, " Button Pressed %d", count);
		if (count > COUNT_LIMIT) {
			count = 0;
			selectTimer->Stop();
		} else {
			selectTimer->Start();
		}
		// The latch was cleared before the press was found over, and has
		// held nothing since: a person who presses the moment the LEDs
		// show the count has that press latched.
		ShowLedPattern(count);
		if (count != 0)
			ClearLateChatter(from, stillUs, pressed);
	}

	if (count != 0)
		RunAction(count);
	else
		OsSyslog(LOG_NOTICE, " No Command selected. Clearing.");
}
