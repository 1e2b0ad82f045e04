#include "sim/device/vcd.h"

#include <errno.h>
#include <string.h>
#include <sys/time.h>
#include <time.h>

#include <algorithm>

// Identifier codes: button pin, latch, LEDs 0-3, count bus, LED word bus.
static const char* const ID_PIN = "!";
static const char* const ID_LATCH = "\"";
static const char* const ID_LED[4] = {"#", "$", "%", "&"};
static const char* const ID_COUNT = "'";
static const char* const ID_WORD = "(";

std::string FullTracePath(const std::string& path)
{
	size_t n = path.size();
	std::string stem = n > 4 && path.compare(n - 4, 4, ".vcd") == 0 ? path.substr(0, n - 4) : path;
	return stem + "-full.vcd";
}

static std::string Bits(uint32_t v, int width)
{
	std::string s = "b";
	for (int bit = width - 1; bit >= 0; bit--)
		s += (v >> bit) & 1 ? '1' : '0';
	return s;
}

static void Header(FILE* f, const struct timeval& tv, bool buses)
{
	struct tm tm;
	gmtime_r(&tv.tv_sec, &tm);
	char date[64];
	strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &tm);
	fprintf(f, "$date %s.%06ld UTC $end\n$version boardsim $end\n$timescale 1 us $end\n",
		date, long(tv.tv_usec));
	fprintf(f, "$scope module board $end\n");
	fprintf(f, "$var wire 1 %s button_n $end\n$var wire 1 %s latch $end\n", ID_PIN, ID_LATCH);
	for (int i = 0; i < 4; i++)
		fprintf(f, "$var wire 1 %s led%d $end\n", ID_LED[i], i);
	if (buses)
		fprintf(f, "$var wire 4 %s count [3:0] $end\n$var wire 32 %s led_word [31:0] $end\n",
			ID_COUNT, ID_WORD);
	fprintf(f, "$upscope $end\n$enddefinitions $end\n");
}

BoardTrace::~BoardTrace()
{
	std::string ignored;
	Close(last, ignored);
}

bool BoardTrace::Open(const std::string& p, const struct timeval& tv, std::string& error)
{
	path = p;
	wires = fopen(path.c_str(), "w");
	full = wires ? fopen(FullTracePath(path).c_str(), "w") : nullptr;
	if (full == nullptr) {
		error = (wires ? FullTracePath(path) : path) + ": " + strerror(errno);
		if (wires)
			fclose(wires);
		wires = nullptr;
		return false;
	}
	Header(wires, tv, false);
	Header(full, tv, true);
	return true;
}

void BoardTrace::Stamp(uint64_t us)
{
	// Two changes read in the same microsecond (a late wake-up playing
	// two toggles of a chattering contact) keep one tick between them, so
	// the trace shows every toggle.
	uint64_t t = first ? 0 : std::max(us, last + 1);
	last = t;
	for (FILE* f : {wires, full})
		fprintf(f, "#%llu\n", static_cast<unsigned long long>(t));
}

void BoardTrace::Record(uint64_t us, uint32_t newLed, bool newPinLow, bool newLatched)
{
	if (wires == nullptr || (!first && newLed == led && newPinLow == pinLow && newLatched == latched))
		return;
	Stamp(us);
	if (first)
		for (FILE* f : {wires, full})
			fputs("$dumpvars\n", f);
	for (FILE* f : {wires, full}) {
		if (first || newPinLow != pinLow)
			fprintf(f, "%d%s\n", newPinLow ? 0 : 1, ID_PIN);
		if (first || newLatched != latched)
			fprintf(f, "%d%s\n", newLatched ? 1 : 0, ID_LATCH);
		for (int i = 0; i < 4; i++)
			if (first || ((newLed ^ led) >> i & 1))
				fprintf(f, "%d%s\n", (newLed >> i & 1) ? 0 : 1, ID_LED[i]);	// 0 bit lit
	}
	if (first || ((newLed ^ led) & 0xF))
		fprintf(full, "%s %s\n", Bits(~newLed & 0xF, 4).c_str(), ID_COUNT);
	if (first || newLed != led)
		fprintf(full, "%s %s\n", Bits(newLed, 32).c_str(), ID_WORD);
	if (first)
		for (FILE* f : {wires, full})
			fputs("$end\n", f);
	// Flushed as it goes: the sandbox reads the trace while boardsim runs.
	fflush(wires);
	fflush(full);
	led = newLed;
	pinLow = newPinLow;
	latched = newLatched;
	first = false;
}

bool BoardTrace::Close(uint64_t us, std::string& error)
{
	if (wires == nullptr)
		return true;
	if (!first)
		Stamp(us);
	bool ok = true;
	for (FILE* f : {wires, full}) {
		ok = !ferror(f) && ok;
		ok = fclose(f) == 0 && ok;
	}
	wires = full = nullptr;
	if (!ok)
		error = path + ": write failed";
	return ok;
}
