#include "board/button.h"

#include <syslog.h>

#include "board/registers.h"
#include "daemon/globals.h"
#include "util/os.h"

// The input is active-low: the button's bit reads 0 while it is held.
int IsButtonPressed()
{
	if (ReadRegister(gpioBlock, GPIO_DATA) & buttonMask)
		return 0;
	if (debugLevel > 1)
		OsSyslog(LOG_NOTICE, "IsButtonPressed(): true");
	return 1;
}

// Which edge latches is the board's own GPIO set-up; we only read the latch.
int HasButtonBeenPressed()
{
	if ((ReadRegister(gpioBlock, GPIO_EVENT) & buttonMask) == 0)
		return 0;
	if (debugLevel > 1)
		OsSyslog(LOG_NOTICE, "HasButtonBeenPressed(): true");
	return 1;
}

// Write-1-to-clear; the other bits are written as 0 so no other latch clears.
void ClearButtonEvent()
{
	WriteRegister(gpioBlock, GPIO_EVENT, buttonMask, true);
}
