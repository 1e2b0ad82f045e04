// A virtual world behind the OS seam, for running the daemon's code on a PC
// in virtual time: the clock moves only when the daemon sleeps, and every log
// line, shell command and LED change is recorded with its virtual time.
#ifndef BUTTOND_SIM_FAKE_OS_H
#define BUTTOND_SIM_FAKE_OS_H

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

struct LogLine {
	uint64_t us;
	int priority;
	std::string text;
};

struct CommandRun {
	uint64_t us;
	std::string line;
};

struct LedChange {
	uint64_t us;
	uint32_t word;
};

struct FakeWorld {
	uint64_t now = 0;	// virtual microseconds since Reset
	// Wall clock at now == 0, in microseconds; a test steps it to move the
	// wall clock without moving virtual time.
	int64_t wallBaseUs = 1700000000LL * 1000000;
	int failClockReads = 0;	// gettimeofday failures still to inject

	std::vector<LogLine> logs;
	std::vector<CommandRun> commands;
	std::vector<LedChange> leds;	// the watched word, on every change

	volatile uint32_t* led = nullptr;	// LED word to watch
	// Runs after every sleep with the virtual interval it covered, so a
	// simulated device can move in step with the daemon.
	std::function<void(uint64_t from, uint64_t to)> afterSleep;
	// Stands in for the shell; commands return 0 when unset.
	std::function<int(const char*)> shell;

	void Reset();
	void Advance(uint64_t us);
	void ObserveLed();
};

extern FakeWorld world;

#endif
