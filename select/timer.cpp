#include "select/timer.h"

#include <errno.h>
#include <stdio.h>
#include <syslog.h>

#include "util/os.h"

// With a 32-bit time_t the C library's own time calls (the sleeps' and the
// clock's fallbacks, syslog's time stamps) are the old 32-bit ones, which a
// kernel built for past 2038 lacks; the board stays in service past that.
static_assert(sizeof(time_t) == 8,
	      "64-bit time_t needed: glibc 2.34 or later with _TIME_BITS=64 (the build sets it), "
	      "musl 1.2 or later, or uClibc-ng 1.0.46 or later with UCLIBC_USE_TIME64");

static uint32_t UnitOf(TimerMode mode)
{
	return mode == TIMER_MILLISECONDS ? 1 : 1000;
}

Timer::Timer() : Timer(TIMER_SECONDS, 1) {}

Timer::Timer(uint32_t count) : Timer(TIMER_SECONDS, count) {}

Timer::Timer(TimerMode mode) : Timer(mode, 1) {}

Timer::Timer(TimerMode mode, uint32_t count)
    : timeout(0), text{}, start{}, last{}, running(0), unit(UnitOf(mode))
{
	SetTimeout(count);
}

void Timer::SetTimeout(uint32_t count) { timeout = unit * count; }

void Timer::Start()
{
	running = 1;
	GetTime(start);
}

void Timer::Stop() { running = 0; }

int Timer::IsRunning() const { return running == 1 ? 1 : 0; }

void ReadMonotonicClock(struct timespec& ts)
{
	for (bool told = false; OsClockGetTime(CLOCK_MONOTONIC, &ts) != 0; told = true) {
		if (!told)
			OsSyslog(LOG_NOTICE, "Clock read failed: %m");
		OsUsleep(80000);
	}
}

void Timer::GetTime(TimeStamp& stamp)
{
	struct timespec ts;
	ReadMonotonicClock(ts);
	// The stamp keeps the low 32 bits of the seconds, and the modular
	// difference carries over their wrap. tv_nsec is below 10^9: dividing
	// it as 32 bits spares the board a 64-bit division call.
	stamp.seconds = static_cast<int32_t>(static_cast<uint32_t>(ts.tv_sec));
	stamp.milliseconds = static_cast<int32_t>(ts.tv_nsec) / 1000000;
}

// Reads the clock into last; all arithmetic unsigned, so it wraps at 2^32 ms
// instead of overflowing.
uint32_t Timer::DifferenceMs()
{
	GetTime(last);
	uint32_t s = static_cast<uint32_t>(last.seconds) -
		     static_cast<uint32_t>(start.seconds);
	uint32_t ms = static_cast<uint32_t>(last.milliseconds) -
		      static_cast<uint32_t>(start.milliseconds);
	return s * 1000u + ms;
}

uint32_t Timer::Elapsed()
{
	if (running != 1)
		return 0;
	return DifferenceMs() / unit;
}

int Timer::Expired()
{
	if (running != 1)
		return 0;
	return DifferenceMs() >= timeout ? 1 : 0;
}

int Timer::IsActive()
{
	if (running != 1)
		return 0;
	return Expired() == 0 ? 1 : 0;
}

const char* Timer::ElapsedString()
{
	text[0] = '\0';
	text[79] = '\0';
	uint32_t e = Elapsed();
	uint32_t t = unit == 1 ? e / 1000 : e;
	long seconds = t % 60;
	long minutes = (t / 60) % 60;
	long hours = (t / 3600) % 24;
	long days = t / 86400;
	if (days == 0)
		snprintf(text, sizeof text, " %2.2ld:%2.2ld:%2.2ld ",
			 hours, minutes, seconds);
	else
		snprintf(text, sizeof text, " %ld Days, %2.2ld:%2.2ld:%2.2ld ",
			 days, hours, minutes, seconds);
	return text;
}
