// boardsim's command line.
#ifndef BUTTOND_SIM_OPTIONS_H
#define BUTTOND_SIM_OPTIONS_H

#include <stdint.h>

#include <string>
#include <vector>

#include "sim/device/simbutton.h"

struct Options {
	const char* image = nullptr;		// the board image, or
	const char* ledPage = nullptr;		// its two pages as an emulator maps them
	const char* gpioPage = nullptr;
	LatchEdge edge = LatchEdge::Press;
	bool bigEndian = false;
	int64_t bounceUs = 0;
	uint64_t seed = 1;
	bool plain = false, stay = false;
	const char* vcd = nullptr;
	const char* events = nullptr;
	const char* figures = nullptr;
	std::vector<std::string> gestures;	// the arguments after the options
};

// Fills options from the command line and the environment
// (BUTTOND_TIMEOUT_MULTIPLIER); returns -1 to go on, else the status to
// exit with, having said why.
int ReadOptions(int argc, char** argv, Options& options);

#endif
