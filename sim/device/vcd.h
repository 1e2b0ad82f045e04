// Value Change Dump of the simulated board, 1 µs a tick from the moment it
// opens, for waveform viewers. Two files: PATH holds only single-bit wires
// (button pin, latch, the four count LEDs), which sigrok reads too; it drops
// every sample of a file that holds a bus. The GTKWave file beside it,
// FullTracePath(PATH), adds the count and the LED word as buses.
#ifndef BUTTOND_SIM_VCD_H
#define BUTTOND_SIM_VCD_H

#include <stdint.h>
#include <stdio.h>
#include <sys/time.h>

#include <string>

// "trace.vcd" -> "trace-full.vcd".
std::string FullTracePath(const std::string& path);

class BoardTrace {
public:
	~BoardTrace();
	// Writes both headers; wallZero is the UTC wall clock at time zero,
	// given in $date.
	bool Open(const std::string& path, const struct timeval& wallZero, std::string& error);
	// The board at us microseconds after time zero: pinLow is the button's
	// pin level reading 0, led the raw LED word (0 bits lit). Writes only
	// what changed.
	void Record(uint64_t us, uint32_t led, bool pinLow, bool latched);
	// Ends both files at us; false on a write error.
	bool Close(uint64_t us, std::string& error);

private:
	void Stamp(uint64_t us);

	FILE* wires = nullptr;
	FILE* full = nullptr;
	std::string path;
	uint64_t last = 0;
	uint32_t led = 0;
	bool pinLow = false, latched = false, first = true;
};

#endif
