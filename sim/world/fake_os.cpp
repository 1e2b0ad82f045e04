#include "sim/world/fake_os.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>

#include "util/os.h"

FakeWorld world;

void FakeWorld::Reset()
{
	*this = FakeWorld();
}

void FakeWorld::ObserveLed()
{
	if (led == nullptr)
		return;
	uint32_t word = *led;
	if (!seenLed || word != lastLed)
		events.push_back({Event::LED, now, 0, word, {}});
	seenLed = true;
	lastLed = word;
}

std::vector<Event> FakeWorld::Only(Event::Kind kind) const
{
	std::vector<Event> out;
	for (const Event& e : events)
		if (e.kind == kind)
			out.push_back(e);
	return out;
}

void FakeWorld::Advance(uint64_t us)
{
	ObserveLed();
	clockFailed = false;
	uint64_t from = now;
	now += us + (late ? late(us) : 0);
	for (auto& step : wallSteps)
		if (step.second != 0 && step.first <= now) {
			wallBaseUs += step.second;
			step.second = 0;
		}
	if (afterSleep)
		afterSleep(from, now);
}

void FakeWorld::Call()
{
	uint64_t us = callTime ? callTime() : 0;
	if (us == 0)
		return;
	ObserveLed();
	uint64_t from = now;
	now += us;
	if (afterSleep)
		afterSleep(from, now);
}

void BeforeRegisterAccess(int32_t index, bool write)
{
	if (world.beforeAccess)
		world.beforeAccess(index, write);
}

int OsSleep(unsigned seconds)
{
	world.Advance(uint64_t(seconds) * 1000000);
	return 0;
}

int OsUsleep(unsigned microseconds)
{
	world.Advance(microseconds);
	return 0;
}

int OsClockGetTime(clockid_t clock, struct timespec* ts)
{
	world.clockRetriesUnslept += world.clockFailed;
	world.clockFailed = false;
	if (world.failClockReads > 0 || (clock != CLOCK_MONOTONIC && clock != CLOCK_REALTIME)) {
		world.failClockReads -= world.failClockReads > 0;
		world.clockFailed = true;
		errno = EINVAL;
		return -1;
	}
	int64_t us = clock == CLOCK_MONOTONIC ? int64_t(world.monoBaseUs + world.now)
					      : world.wallBaseUs + int64_t(world.now);
	ts->tv_sec = us / 1000000;
	ts->tv_nsec = long(us % 1000000) * 1000;
	return 0;
}

void OsOpenlog(const char* ident, int option, int facility)
{
	world.logIdent = ident;
	world.events.push_back({Event::OPENLOG, world.now, facility, uint32_t(option), ident});
}

void OsSyslog(int priority, const char* format, ...)
{
	char text[512];
	va_list ap;
	va_start(ap, format);
	vsnprintf(text, sizeof text, format, ap);
	va_end(ap);
	world.ObserveLed();
	world.events.push_back({Event::LOG, world.now, priority, 0, text});
	if (world.logToStderr)
		fprintf(stderr, "syslog %d: %s\n", priority, text);
	world.Call();
}

int OsSystem(const char* command)
{
	world.ObserveLed();
	world.events.push_back({Event::SHELL, world.now, 0, 0, command});
	return world.shell ? world.shell(command) : 0;
}

void OsSync()
{
	world.ObserveLed();
	world.events.push_back({Event::SYNC, world.now, 0, 0, {}});
}
