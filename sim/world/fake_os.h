// A virtual world behind the OS seam, for running the daemon's code on a PC
// in virtual time: the clock moves only when the daemon sleeps, and every log
// line, shell command and LED change is recorded with its virtual time.
#ifndef BUTTOND_SIM_FAKE_OS_H
#define BUTTOND_SIM_FAKE_OS_H

#include <stdint.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

// One thing the daemon did, in the order it did it.
struct Event {
	enum Kind { LOG, SHELL, LED, OPENLOG, SYNC } kind;
	uint64_t us;		// virtual time
	int priority;		// LOG; OPENLOG: the facility
	uint32_t word;		// LED: the word now in the LED register; OPENLOG: the option
	std::string text;	// LOG: the formatted line; SHELL: the command line; OPENLOG: the identity
};

struct FakeWorld {
	uint64_t now = 0;	// virtual microseconds since Reset
	// The two clocks at now == 0, in microseconds. The monotonic clock
	// moves only with virtual time; a test steps the wall clock without
	// moving virtual time, as NTP or an operator's date does.
	// The monotonic clock is at no whole second: a second's turn falls in
	// the selection's first rest (7.430 s of virtual time).
	uint64_t monoBaseUs = 12345 * 1000000ULL + 570000;
	int64_t wallBaseUs = 1700000000LL * 1000000;
	int failClockReads = 0;	// clock_gettime failures still to inject
	// Readings made right after a failed one, no sleep between: a spin.
	int clockRetriesUnslept = 0;
	bool clockFailed = false;	// the last reading failed, no sleep since
	// Steps of the wall clock still to come: at virtual time first, the
	// wall clock moves by second microseconds, whatever the daemon is
	// doing.
	std::vector<std::pair<uint64_t, int64_t>> wallSteps;
	// How much later than asked a sleep of us ends, on a busy CPU; none
	// when unset. Called as the sleep begins.
	std::function<uint64_t(uint64_t us)> late;
	// How long a syslog call takes; none when unset.
	std::function<uint64_t()> callTime;
	bool logToStderr = false;	// log lines also to stderr, for death tests
	// The identity last given to openlog, as given: libc keeps the pointer.
	const char* logIdent = nullptr;

	std::vector<Event> events;

	volatile uint32_t* led = nullptr;	// LED word to watch
	// Runs after every sleep with the virtual interval it covered, so a
	// simulated device can move in step with the daemon.
	std::function<void(uint64_t from, uint64_t to)> afterSleep;
	// Runs before every access to the GPIO block by a core built with
	// BUTTOND_REGISTER_HOOK, so the contact can move between any two.
	std::function<void(int32_t index, bool write)> beforeAccess;
	// Stands in for the shell; commands return 0 when unset.
	std::function<int(const char*)> shell;

	bool seenLed = false;
	uint32_t lastLed = 0;

	void Reset();
	void Advance(uint64_t us);
	void Call();
	void ObserveLed();
	std::vector<Event> Only(Event::Kind kind) const;
};

extern FakeWorld world;

#endif
