#include <gtest/gtest.h>

#include "select/timer.h"
#include "sim/world/fake_os.h"

namespace {

void Wait(uint64_t ms) { world.Advance(ms * 1000); }

TEST(Timer, StoppedTimerReadsNothing)
{
	world.Reset();
	Timer t(TIMER_SECONDS, 5);
	EXPECT_EQ(t.IsRunning(), 0);
	world.failClockReads = 1000;	// a stopped timer must not read the clock
	EXPECT_EQ(t.Elapsed(), 0u);
	EXPECT_EQ(t.Expired(), 0);
	EXPECT_EQ(t.IsActive(), 0);
	EXPECT_STREQ(t.ElapsedString(), " 00:00:00 ");
	EXPECT_EQ(world.failClockReads, 1000);
}

// Each constructor's unit and count, read back as its timeout: active up to
// the millisecond before, expired at it exactly; copies keep the start.
TEST(Timer, ExpiresAtExactEquality)
{
	world.Reset();
	world.wallBaseUs += 999000;	// start marks with a millisecond part
	Timer timers[] = {Timer(), Timer(3u), Timer(TIMER_MILLISECONDS), Timer(TIMER_SECONDS, 5),
			  Timer(TimerMode(1), 250), Timer(TimerMode(7), 2)};
	const uint64_t timeoutMs[] = {1000, 3000, 1, 5000, 250, 2000};
	for (int i = 0; i < 6; i++) {
		Timer& t = timers[i];
		t.Start();
		Wait(timeoutMs[i] - 1);
		EXPECT_EQ(t.IsActive(), 1) << i;
		EXPECT_EQ(t.Expired(), 0) << i;
		Timer copy(t);
		Wait(1);
		EXPECT_EQ(copy.Expired(), 1) << i;
		EXPECT_EQ(t.IsActive(), 0) << i;
		EXPECT_EQ(t.IsRunning(), 1);	// expiry is not a state of its own
		EXPECT_EQ(t.Elapsed(), timeoutMs[i] % 1000 ? timeoutMs[i] : timeoutMs[i] / 1000) << i;
		t.Start();
		EXPECT_EQ(t.IsActive(), 1);
		t.Stop();
		EXPECT_EQ(t.IsActive(), 0);
	}
	Timer assigned;
	assigned = timers[4];
	assigned = assigned;
	assigned.Start();
	assigned.SetTimeout(2);
	Wait(1);
	EXPECT_EQ(assigned.Elapsed(), 1u);
	EXPECT_EQ(assigned.IsActive(), 1);
}

TEST(Timer, ClockStepsAndWrap)
{
	world.Reset();
	Timer t(TIMER_MILLISECONDS, 1000);
	t.Start();
	world.wallBaseUs -= 1000;	// wall clock steps back 1 ms
	EXPECT_EQ(t.Expired(), 1);
	EXPECT_EQ(t.Elapsed(), 0xFFFFFFFFu);

	t.Start();
	world.wallBaseUs += 4294967296LL * 1000;	// 2^32 ms forward
	EXPECT_EQ(t.Elapsed(), 0u);
	EXPECT_EQ(t.Expired(), 0);

	world.failClockReads = 3;	// failed readings are retried
	world.wallBaseUs += 1500 * 1000;
	EXPECT_EQ(t.Elapsed(), 1500u);
	EXPECT_EQ(world.failClockReads, 0);
}

TEST(Timer, ElapsedStringFormats)
{
	struct Case {
		TimerMode mode;
		uint64_t seconds;
		const char* text;
	} cases[] = {
		{TIMER_SECONDS, 59, " 00:00:59 "},
		{TIMER_SECONDS, 86399, " 23:59:59 "},
		{TIMER_SECONDS, 86400, " 1 Days, 00:00:00 "},
		{TIMER_SECONDS, 86400 + 3600 + 61, " 1 Days, 01:01:01 "},
		{TIMER_MILLISECONDS, 3599, " 00:59:59 "},
	};
	for (const Case& c : cases) {
		world.Reset();
		world.wallBaseUs += 77000000;	// start seconds end in a non-zero byte
		Timer t(c.mode, 1);
		t.Start();
		world.Advance(c.seconds * 1000000 + 999);
		EXPECT_STREQ(t.ElapsedString(), c.text);
	}
}

}  // namespace
