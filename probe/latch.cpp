#include "probe/latch.h"

#include "board/button.h"
#include "board/registers.h"
#include "daemon/globals.h"

// The block clears on the write itself: a bit set at the next read is a
// new edge.
void StartLatch() {}

bool TakeLatch(uint64_t, uint32_t& word)
{
	word = ReadRegister(gpioBlock, GPIO_EVENT);
	if ((word & buttonMask) == 0)
		return false;
	ClearButtonEvent();
	return true;
}
