#include "sim/device/display.h"

#include <stdio.h>
#include <time.h>

#include <string>

// The four count LEDs, highest first, and the number they show.
static std::string LedRow(uint32_t word)
{
	std::string row;
	for (int bit = 3; bit >= 0; bit--)
		row += (word >> bit) & 1 ? "○" : "●";
	return row + " " + std::to_string(~word & 0xF);
}

// The sandbox's stamp, HH:MM:SS.mmm of the UTC wall clock, of the moment
// the change was seen rather than written.
static std::string StampAt(const struct timeval& zero, uint64_t us)
{
	uint64_t at = uint64_t(zero.tv_sec) * 1000000 + uint64_t(zero.tv_usec) + us;
	time_t sec = time_t(at / 1000000);
	struct tm tm;
	gmtime_r(&sec, &tm);
	char buf[32];
	snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03u", tm.tm_hour, tm.tm_min, tm.tm_sec,
		 unsigned(at % 1000000 / 1000));
	return buf;
}

void Display::Show(uint64_t us, uint32_t newLed, bool newDown, bool newLatched)
{
	if (!first && newLed == led && newDown == down && newLatched == latched)
		return;
	if (plain) {
		std::string t = StampAt(wallZero, us);
		if (first || newLed != led)
			printf("%s\tleds\t%s\n", t.c_str(), LedRow(newLed).c_str());
		if (first || newDown != down)
			printf("%s\tbutton\t%s\n", t.c_str(), newDown ? "down" : "up");
		if (first || newLatched != latched)
			printf("%s\tlatch\t%s\n", t.c_str(), newLatched ? "set" : "clear");
		fflush(stdout);
	}
	led = newLed;
	down = newDown;
	latched = newLatched;
	first = false;
	if (!plain)
		Draw();
}

void Display::Draw()
{
	printf("\r\033[K LEDs %s   button %-4s   latch %s", LedRow(led).c_str(), down ? "DOWN" : "up",
	       latched ? "set" : "-");
	fflush(stdout);
	drawn = true;
}

void Display::Say(const std::string& text)
{
	if (drawn)
		printf("\n");
	fflush(stdout);
	fprintf(stderr, "%s\n", text.c_str());
	if (drawn)
		Draw();
}

void Display::Finish()
{
	if (drawn)
		printf("\n");
	fflush(stdout);
	drawn = false;
}
