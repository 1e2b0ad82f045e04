// What stands for physical memory and where the two register pages lie in
// it. The board build maps /dev/mem; the PC build maps the simulated board
// image instead and never touches physical addresses.
#ifndef BUTTOND_BOARD_HWMAP_H
#define BUTTOND_BOARD_HWMAP_H

#include <stdint.h>

struct HardwareMap {
	const char* device;	// opened read-write in place of physical memory
	uint64_t ledPage;	// file offset of the LED page
	uint64_t gpioPage;	// file offset of the GPIO page
	uint64_t minSize;	// bytes a regular-file device must hold; 0: unchecked
};

HardwareMap BoardMap();

// How MapHardware ended; on failure errno tells why.
enum class MapResult { Mapped, OpenFailed, MapFailed };

// Opens the device read-write and maps both pages. The descriptor stays
// open for the life of the process, close-on-exec.
MapResult MapHardware(const HardwareMap& map, volatile uint32_t** led, volatile uint32_t** gpioBlock);

#endif
