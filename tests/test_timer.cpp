#include <gtest/gtest.h>

#include "select/timer.h"
#include "sim/world/fake_os.h"

namespace {

constexpr uint64_t MS = 1000;

void Wait(uint64_t ms) { world.Advance(ms * MS); }

// Each constructor's unit and count, read back as its timeout: stopped it
// reads nothing (not even the clock), running it is active up to the
// millisecond before and expired at it exactly.
TEST(Timer, ExpiresAtExactEquality)
{
	world.Reset();
	world.monoBaseUs += 999000;	// start marks with a millisecond part
	Timer timers[] = {Timer(), Timer(3u), Timer(TIMER_MILLISECONDS), Timer(TIMER_SECONDS, 5),
			  Timer(TimerMode(1), 250), Timer(TimerMode(7), 2)};
	const uint64_t timeoutMs[] = {1000, 3000, 1, 5000, 250, 2000};
	for (int i = 0; i < 6; i++) {
		Timer& t = timers[i];
		world.failClockReads = 1000;
		EXPECT_EQ(t.Elapsed() + t.Expired() + t.IsActive() + t.IsRunning(), 0u);
		EXPECT_STREQ(t.ElapsedString(), " 00:00:00 ");
		EXPECT_EQ(world.failClockReads, 1000) << "a stopped timer read the clock";
		world.failClockReads = 0;
		t.Start();
		Wait(timeoutMs[i] - 1);
		EXPECT_EQ(t.IsActive(), 1) << i;
		EXPECT_EQ(t.Expired(), 0) << i;
		Wait(1);
		EXPECT_EQ(t.Expired(), 1) << i;
		EXPECT_EQ(t.IsActive(), 0) << i;
		EXPECT_EQ(t.IsRunning(), 1);	// expiry is not a state of its own
		EXPECT_EQ(t.Elapsed(), timeoutMs[i] % 1000 ? timeoutMs[i] : timeoutMs[i] / 1000) << i;
		t.Start();
		EXPECT_EQ(t.IsActive(), 1);
		t.Stop();
		EXPECT_EQ(t.IsActive(), 0);
	}
}

// A window is time the person waited: steps of the wall clock either way
// change nothing. The monotonic reading wraps at 2^32 ms.
TEST(Timer, WallStepsAndWrap)
{
	world.Reset();
	Timer t(TIMER_MILLISECONDS, 1000);
	t.Start();
	world.Advance(400 * 1000);
	for (int64_t step : {-1000LL, -86400LL * 1000000, 5LL * 1000000, 63LL * 365 * 86400 * 1000000}) {
		world.wallBaseUs += step;
		EXPECT_EQ(t.Elapsed(), 400u) << step;
		EXPECT_EQ(t.IsActive(), 1) << step;
	}
	t.Start();
	world.Advance((4294967296ULL + 1500) * 1000);
	EXPECT_EQ(t.Elapsed(), 1500u);
}

// A clock the OS refuses decides nothing: the timer waits for a reading
// that works, a poll at a time and never spinning, and says so once an
// outage. A window started in an outage runs from when the clock came
// back, so the person gets no less than the whole window.
TEST(Timer, FailingClockIsWaitedOut)
{
	for (int failures : {1, 3, 200}) {
		world.Reset();
		Timer t(TIMER_SECONDS, 5);
		world.failClockReads = failures;
		t.Start();
		uint64_t started = world.now;
		EXPECT_GE(started, failures * 80 * MS) << failures;
		world.Advance(4999 * MS);
		world.failClockReads = failures;
		EXPECT_EQ(t.IsActive(), 0) << "the outage passed the window's end: " << failures;
		world.Reset();
		t.Start();
		world.Advance(4000 * MS);
		world.failClockReads = failures;
		EXPECT_EQ(t.Elapsed(), 4u + failures * 80 / 1000) << failures;
		EXPECT_EQ(world.clockRetriesUnslept, 0) << failures;
		EXPECT_EQ(world.Only(Event::LOG).size(), 1u) << failures;
		EXPECT_EQ(world.Only(Event::LOG)[0].text, "Clock read failed: Invalid argument");
	}
}

TEST(Timer, ElapsedStringFormats)
{
	std::pair<uint64_t, const char*> cases[] = {
		{59, " 00:00:59 "}, {86399, " 23:59:59 "}, {86400, " 1 Days, 00:00:00 "},
		{86400 + 3600 + 61, " 1 Days, 01:01:01 "},
	};
	for (const auto& c : cases) {
		for (TimerMode mode : {TIMER_SECONDS, TIMER_MILLISECONDS}) {
			world.Reset();
			world.monoBaseUs += 77000000;	// start seconds end in a non-zero byte
			Timer t(mode, 1);
			t.Start();
			world.Advance(c.first * 1000000 + 999);
			EXPECT_STREQ(t.ElapsedString(), c.second);
		}
	}
}

}  // namespace
