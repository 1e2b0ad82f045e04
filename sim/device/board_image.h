// The simulated board image: a shared file standing in for physical memory.
//
// Two pages, in host byte order: the LED page (LED word at offset 0), then
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
};

// Creates the image when it is missing, then maps it. On failure returns
// false with the reason in error.
bool OpenBoardImage(const char* path, BoardImage& image, std::string& error);

#endif
