// The simulated board image: a shared file standing in for physical memory.
//
// Two pages, words in the byte order of the daemon that maps it (the
// host's, or big-endian for the PowerPC daemon under qemu-user): the LED page (LED word at offset 0), then
// the GPIO page with the controller block at 0xC00, so the data word sits at
// page + 0xC08 and the event word at page + 0xC0C. A new image reads as a
// dark display, every pin high (button up) and no event latched.
#ifndef BUTTOND_SIM_BOARD_IMAGE_H
#define BUTTOND_SIM_BOARD_IMAGE_H

#include <stdint.h>

#include <string>

struct BoardImage {
	volatile uint32_t* led = nullptr;
	volatile uint32_t* gpio = nullptr;	// the GPIO block
	bool bigEndian = false;			// words as the PowerPC stores them

	// The LED word as the daemon wrote it.
	uint32_t Led() const
	{
		uint32_t v = *led;
		return bigEndian && __BYTE_ORDER__ != __ORDER_BIG_ENDIAN__ ? __builtin_bswap32(v) : v;
	}
};

// Creates the image when it is missing, then maps it. On failure returns
// false with the reason in error.
bool OpenBoardImage(const char* path, BoardImage& image, std::string& error);

// The same board as two one-page files, the LED page and the GPIO page, as
// an emulator maps them at the two physical addresses. A file that is
// missing, not a regular file or not one page long is made anew first.
bool OpenBoardPages(const char* ledPath, const char* gpioPath, BoardImage& image,
		    std::string& error);

#endif
