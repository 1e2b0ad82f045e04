// The simulated board's device, and the emulated board's, answer a
// write-1-to-clear a millisecond or two later, the word reading back
// exactly what was written meanwhile, and mark each latched edge with
// bit 0. A clear's read-back tells which device this is; retried, as it
// may answer between the two. A latch that reads back the clear for longer
// than STUCK_US does not clear at all, and is taken as set each time.
#include "probe/latch.h"

#include "board/button.h"
#include "board/registers.h"
#include "daemon/globals.h"

static const uint64_t STUCK_US = 100000;
static const uint32_t MARKER = 1;
static bool late, pending;
static uint64_t pendingSince;

void StartLatch()
{
	for (int i = 0; i < 3 && !late; i++) {
		ClearButtonEvent();
		late = ReadRegister(gpioBlock, GPIO_EVENT) == buttonMask;
	}
}

bool TakeLatch(uint64_t now, uint32_t& word)
{
	word = ReadRegister(gpioBlock, GPIO_EVENT);
	bool latched = (word & buttonMask) != 0;
	if (late) {
		if (word == buttonMask) {
			if (!pending)
				pendingSince = now;
			pending = true;
			latched = now - pendingSince > STUCK_US;
		} else {
			pending = false;
		}
		word &= ~MARKER;
	}
	if (latched) {
		ClearButtonEvent();
		pendingSince = now;
	}
	return latched;
}
