// Countdown timer on the monotonic clock, in seconds or milliseconds.
//
// The selection loop uses one as its five-second idle window. A step of the
// wall clock (NTP first setting a board without a real-time clock, an
// operator's date) is no time the person waited, so the timer never reads
// it. Differences are kept modulo 2^32 ms: an elapsed time of 2^32 ms
// (49.7 days) reads as 0 again.
#ifndef BUTTOND_SELECT_TIMER_H
#define BUTTOND_SELECT_TIMER_H

#include <stdint.h>
#include <time.h>

struct TimeStamp {
	int32_t seconds;
	int32_t milliseconds;
};

// Unit of a Timer; any value other than TIMER_MILLISECONDS counts seconds.
enum TimerMode : int32_t {
	TIMER_SECONDS = 0,
	TIMER_MILLISECONDS = 1,
};

// Reads the monotonic clock into ts. A reading the OS refuses is never
// handed on: the clock is read again a poll (80 ms) later, until it reads,
// the outage logged once, so a failing clock costs a wake-up a poll, not a
// spinning CPU.
void ReadMonotonicClock(struct timespec& ts);

class Timer {
public:
	Timer();
	explicit Timer(uint32_t count);
	explicit Timer(TimerMode mode);
	Timer(TimerMode mode, uint32_t count);
	Timer(const Timer&) = default;
	Timer& operator=(const Timer&) = default;
	~Timer() = default;

	void SetTimeout(uint32_t count);
	void Start();
	void Stop();
	int IsRunning() const;
	static void GetTime(TimeStamp& stamp);
	uint32_t Elapsed();
	int Expired();
	int IsActive();
	const char* ElapsedString();

private:
	uint32_t DifferenceMs();

	uint32_t timeout;	// milliseconds
	char text[80];
	TimeStamp start;
	TimeStamp last;
	int32_t running;
	uint32_t unit;		// milliseconds per unit
};

#endif
