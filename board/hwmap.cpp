#include "board/hwmap.h"

#include <unistd.h>

#include "board/registers.h"

#ifdef BUTTOND_BOARD_SIM

#ifndef BUTTOND_SIM_BOARD
#define BUTTOND_SIM_BOARD "/dev/shm/buttond-board"
#endif

// The image holds the LED page, then the GPIO page. A shorter file would map
// but fault with SIGBUS on the first access past its end, so its size is
// checked before mapping.
HardwareMap BoardMap()
{
	uint64_t page = static_cast<uint64_t>(getpagesize());
	return {BUTTOND_SIM_BOARD, 0, page, 2 * page};
}

#else

HardwareMap BoardMap()
{
	return {"/dev/mem", LED_PAGE, GPIO_PAGE, 0};
}

#endif
