// The board's changes as a stream of text lines, for a program that shows
// the board live (the panel): one line a change, flushed as it happens.
//   0<TAB>zero<TAB>YYYY-MM-DD HH:MM:SS.uuuuuu   the UTC wall clock at time 0
//   US<TAB>led<TAB>XXXXXXXX                     the LED word (a 0 bit lights)
//   US<TAB>pin<TAB>low|high                     the button's pin, every toggle
//   US<TAB>latch<TAB>set|clear                  the event latch
//   US<TAB>finger<TAB>down|up                   where the finger is
//   US<TAB>fault<TAB>TEXT                       a fault of the rig itself
// US is microseconds since time 0 on the monotonic clock, the trace's own
// time base.
#ifndef BUTTOND_SIM_EVENTS_H
#define BUTTOND_SIM_EVENTS_H

#include <stdint.h>
#include <stdio.h>
#include <sys/time.h>

#include <string>

class BoardEvents {
public:
	~BoardEvents();
	bool Open(const std::string& path, const struct timeval& wallZero, std::string& error);
	// The board at us microseconds after time zero; writes what changed.
	void Record(uint64_t us, uint32_t led, bool pinLow, bool latched, bool fingerDown);
	void Fault(uint64_t us, const std::string& text);
	bool Close(std::string& error);

private:
	FILE* file = nullptr;
	std::string path;
	uint32_t led = 0;
	bool pinLow = false, latched = false, fingerDown = false, first = true;
};

#endif
