#include "sim/device/events.h"

#include <errno.h>
#include <string.h>
#include <time.h>

BoardEvents::~BoardEvents()
{
	std::string ignored;
	Close(ignored);
}

bool BoardEvents::Open(const std::string& p, const struct timeval& wallZero, std::string& error)
{
	path = p;
	file = fopen(path.c_str(), "w");
	if (file == nullptr) {
		error = path + ": " + strerror(errno);
		return false;
	}
	struct tm tm;
	gmtime_r(&wallZero.tv_sec, &tm);
	char date[64];
	strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &tm);
	fprintf(file, "0\tzero\t%s.%06ld\n", date, long(wallZero.tv_usec));
	fflush(file);
	return true;
}

void BoardEvents::Record(uint64_t us, uint32_t newLed, bool newPinLow, bool newLatched,
			 bool newFingerDown)
{
	if (file == nullptr)
		return;
	unsigned long long t = us;
	bool changed = false;
	if (first || newFingerDown != fingerDown)
		changed = fprintf(file, "%llu\tfinger\t%s\n", t, newFingerDown ? "down" : "up");
	if (first || newPinLow != pinLow)
		changed = fprintf(file, "%llu\tpin\t%s\n", t, newPinLow ? "low" : "high");
	if (first || newLatched != latched)
		changed = fprintf(file, "%llu\tlatch\t%s\n", t, newLatched ? "set" : "clear");
	if (first || newLed != led)
		changed = fprintf(file, "%llu\tled\t%08X\n", t, newLed);
	// Flushed as it goes: a reader shows the board live.
	if (changed)
		fflush(file);
	led = newLed;
	pinLow = newPinLow;
	latched = newLatched;
	fingerDown = newFingerDown;
	first = false;
}

void BoardEvents::Fault(uint64_t us, const std::string& text)
{
	if (file == nullptr)
		return;
	fprintf(file, "%llu\tfault\t%s\n", static_cast<unsigned long long>(us), text.c_str());
	fflush(file);
}

bool BoardEvents::Close(std::string& error)
{
	if (file == nullptr)
		return true;
	bool ok = !ferror(file);
	ok = fclose(file) == 0 && ok;
	file = nullptr;
	if (!ok)
		error = path + ": write failed";
	return ok;
}
