#include "board/hwmap.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
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

static bool LongEnough(int fd, uint64_t minSize)
{
	if (minSize == 0)
		return true;
	struct stat st;
	if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) >= minSize)
		return true;
	errno = EINVAL;
	return false;
}

// O_CLOEXEC keeps commands the daemon runs from inheriting write access to
// physical memory.
MapResult MapHardware(const HardwareMap& map, volatile uint32_t** led, volatile uint32_t** gpioBlock)
{
	int fd = open(map.device, O_RDWR | O_CLOEXEC);
	if (fd < 0)
		return MapResult::OpenFailed;
	size_t page = static_cast<size_t>(getpagesize());
	void* l = MAP_FAILED;
	void* g = MAP_FAILED;
	if (LongEnough(fd, map.minSize)) {
		l = mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_SHARED, fd, static_cast<off_t>(map.ledPage));
		if (l != MAP_FAILED)
			g = mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_SHARED, fd,
				 static_cast<off_t>(map.gpioPage));
	}
	if (l == MAP_FAILED || g == MAP_FAILED)
		return MapResult::MapFailed;
	*led = static_cast<volatile uint32_t*>(l);
	*gpioBlock = reinterpret_cast<volatile uint32_t*>(static_cast<char*>(g) + GPIO_BLOCK_OFFSET);
	return MapResult::Mapped;
}
