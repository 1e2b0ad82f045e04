// boardsim: the simulated board's button and LEDs on a PC.
//
// Runs the GPIO device behind the board image for as long as it runs, plays
// button gestures from its arguments and then from standard input, and shows
// the LEDs and the button as a person would see them. The device itself,
// the responder, runs on a thread of its own at real-time priority; this
// one reads the gestures and writes what it reports.
#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "board/registers.h"
#include "sim/device/board_image.h"
#include "sim/device/display.h"
#include "sim/device/events.h"
#include "sim/device/gesture.h"
#include "sim/device/gesture_queue.h"
#include "sim/device/options.h"
#include "sim/device/responder.h"
#include "sim/device/vcd.h"
#include "sim/device/witness.h"

static volatile sig_atomic_t stopping;

static void OnSignal(int) { stopping = 1; }

static uint64_t MonotonicUs()
{
	struct timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return uint64_t(ts.tv_sec) * 1000000 + uint64_t(ts.tv_nsec) / 1000;
}

static void Pin(std::thread& t, int cpu)
{
	cpu_set_t one;
	CPU_ZERO(&one);
	CPU_SET(cpu, &one);
	pthread_setaffinity_np(t.native_handle(), sizeof one, &one);
}

// Hardware is never late: the responder runs at real-time priority with
// its memory locked where the system allows. Where it does not, say so
// once, so a stall that follows is not a surprise.
static std::string Unprompt(std::thread& responder)
{
	std::string refused;
	if (mlockall(MCL_CURRENT | MCL_FUTURE) != 0)
		refused = std::string("memory locking (") + strerror(errno) + ")";
	struct sched_param sp = {};
	sp.sched_priority = 10;
	int e = pthread_setschedparam(responder.native_handle(), SCHED_FIFO, &sp);
	if (e != 0)
		refused += (refused.empty() ? "" : " and ") + std::string("real-time priority (") + strerror(e) + ")";
	return refused;
}

// Everything the responder reports, written where it belongs.
struct Writer {
	Writer(Display& d, BoardTrace& t, BoardEvents& e, const std::vector<Sight>& s, Responder& r,
	       WitnessLog* w, uint64_t zero, const char* f)
	    : display(d), trace(t), events(e), sights(s), responder(r), witness(w), zero(zero), figures(f)
	{
	}

	Display& display;
	BoardTrace& trace;
	BoardEvents& events;
	const std::vector<Sight>& sights;
	Responder& responder;
	WitnessLog* witness;
	uint64_t zero;
	const char* figures;
	bool failed = false, done = false;
	uint64_t lastUs = 0, lost = 0, faults = 0, machineStalls = 0, longestMachineStall = 0, slowCpus = 0;
	std::vector<Change> stalls;	// the responder's, until the witness has spoken
	std::vector<Gap> gaps;		// the witness's
	std::string written;

	void Fault(uint64_t us, const std::string& what)
	{
		display.Say("boardsim: rig fault: " + what);
		events.Fault(us, what);
		failed = true;
		faults++;
	}

	// A stall of the responder alone is the rig's fault. One that the
	// witness, on another CPU and in another process, shared was the
	// whole machine standing still, the daemon with it: harmless, unless a
	// clear of the daemon's waited through it, which the daemon may then
	// have read back before the responder woke.
	void Judge(const Change& c, bool machine)
	{
		char what[200];
		double ms = (c.us - c.fromUs) / 1e3;
		const char* clear = c.clear ? ", and a clear of the daemon's waited for it" : "";
		if (!machine) {
			snprintf(what, sizeof what, "the rig was away %.1f ms, past the %.0f ms a clear may wait%s",
				 ms, RIG_FAULT_US / 1e3, clear);
			return Fault(c.us, what);
		}
		machineStalls++;
		longestMachineStall = std::max(longestMachineStall, c.us - c.fromUs);
		if (c.clear) {
			snprintf(what, sizeof what, "the whole machine stood still %.1f ms%s", ms, clear);
			return Fault(c.us, what);
		}
		snprintf(what, sizeof what, "the whole machine stood still %.1f ms, every process with it", ms);
		display.Say(std::string("boardsim: machine stall: ") + what);
		events.Fault(c.us, what);
	}

	// The responder's CPU stood still while the second answered the
	// clears: the trace's stamps of that moment are late, and a contact
	// whose chatter came that late was no contact within its limits.
	void Late(const Change& c)
	{
		char what[200];
		double ms = (c.us - c.fromUs) / 1e3;
		if (c.chatter) {
			snprintf(what, sizeof what, "the responder's CPU stood still %.1f ms, and the contact's chatter "
				 "came that late", ms);
			return Fault(c.us, what);
		}
		snprintf(what, sizeof what, "the responder's CPU stood still %.1f ms; its second answered the "
			 "clears, and the trace's stamps of that moment are late", ms);
		slowCpus++;
		display.Say(std::string("boardsim: slow CPU: ") + what);
		events.Fault(c.us, what);
	}

	void Weigh(bool finally)
	{
		if (witness != nullptr)
			for (const Gap* g; (g = witness->gaps.Peek()) != nullptr; witness->gaps.Pop())
				gaps.push_back(*g);
		uint64_t now = MonotonicUs() - zero;
		for (size_t i = 0; i < stalls.size();) {
			const Change& c = stalls[i];
			bool shared = false;
			for (const Gap& g : gaps)
				shared |= g.from <= c.fromUs + 5000 && g.to + 5000 >= c.us;
			// The witness says so within a millisecond or two of waking.
			if (shared || witness == nullptr || finally || now > c.us + 30000) {
				Judge(c, shared);
				stalls.erase(stalls.begin() + long(i));
			} else {
				i++;
			}
		}
	}

	void Drain(bool finally = false)
	{
		while (const Change* c = responder.changes.Peek()) {
			lastUs = c->us;
			switch (c->kind) {
			case Change::STATE:
				display.Show(c->us, c->led, c->finger, c->latched);
				trace.Record(c->us, c->led, c->pinLow, c->latched);
				events.Record(c->us, c->led, c->pinLow, c->latched, c->finger);
				break;
			case Change::FAILED:
				display.Say("boardsim: " + NeverCame(c->step, sights[c->step.sight], c->shown));
				failed = true;
				break;
			case Change::STALL:
				stalls.push_back(*c);
				break;
			case Change::LATE:
				Late(*c);
				break;
			case Change::DONE:
				done = true;
				break;
			}
			responder.changes.Pop();
		}
		for (const Change* c; (c = responder.seconded.Peek()) != nullptr; responder.seconded.Pop())
			stalls.push_back(*c);
		Weigh(finally);
		uint64_t n = responder.lost.load();
		if (n != lost) {
			lost = n;
			Fault(lastUs, "the writer fell behind, and the trace lost " + std::to_string(n) + " changes");
		}
		Figures();
	}

	// One line, rewritten when it changes, for the rig's own report.
	void Figures()
	{
		if (figures == nullptr)
			return;
		char line[200];
		snprintf(line, sizeof line,
			 "clears %llu worst_answer_ms %.1f longest_gap_ms %.1f rig_faults %llu machine_stalls %llu "
			 "longest_machine_stall_ms %.1f slow_cpus %llu\n",
			 (unsigned long long)responder.clears.load(), responder.worstAnswerUs.load() / 1e3,
			 responder.worstGapUs.load() / 1e3, (unsigned long long)faults,
			 (unsigned long long)machineStalls, longestMachineStall / 1e3, (unsigned long long)slowCpus);
		if (written == line)
			return;
		written = line;
		if (FILE* f = fopen(figures, "w")) {
			fputs(line, f);
			fclose(f);
		}
	}
};

// Parses a line into steps for the responder; a bad line is said and skipped.
static void Queue(const std::string& line, const std::string& where, std::vector<Sight>& sights,
		  std::deque<Step>& waiting, Display& display)
{
	std::vector<Step> steps;
	std::string error;
	if (!ParseGesture(line, where, steps, sights, error)) {
		display.Say("boardsim: " + where + ": \"" + line + "\": " + error + ", skipped");
		return;
	}
	// What still waits here for room in the queue goes too.
	if (!steps.empty() && steps[0].kind == Step::LET_GO)
		waiting.erase(std::remove_if(waiting.begin(), waiting.end(),
					     [](const Step& s) { return s.kind != Step::END; }),
			      waiting.end());
	waiting.insert(waiting.end(), steps.begin(), steps.end());
}

int main(int argc, char** argv)
{
	Options o;
	int status = ReadOptions(argc, argv, o);
	if (status >= 0)
		return status;
	BoardImage image;
	std::string error;
	if (o.ledPage ? !OpenBoardPages(o.ledPage, o.gpioPage, image, error)
		      : !OpenBoardImage(o.image, image, error)) {
		fprintf(stderr, "boardsim: %s\n", error.c_str());
		return 1;
	}
	image.bigEndian = o.bigEndian;
	struct timeval wallZero;
	gettimeofday(&wallZero, nullptr);
	uint64_t zero = MonotonicUs();
	BoardTrace trace;
	BoardEvents events;
	if ((o.vcd && !trace.Open(o.vcd, wallZero, error)) || (o.events && !events.Open(o.events, wallZero, error))) {
		fprintf(stderr, "boardsim: %s\n", error.c_str());
		return 1;
	}

	// The responder on one CPU and its second on another; on a single CPU
	// neither the second nor a witness can help.
	cpu_set_t allowed;
	std::vector<int> cpus;
	if (sched_getaffinity(0, sizeof allowed, &allowed) == 0)
		for (int cpu = 0; cpu < CPU_SETSIZE && cpus.size() < 2; cpu++)
			if (CPU_ISSET(cpu, &allowed))
				cpus.push_back(cpu);
	WitnessLog* witness = cpus.size() == 2 ? StartWitness(zero, RIG_FAULT_US) : nullptr;

	SimButton button(image.gpio, BUTTON_MASK, o.edge, o.bigEndian);
	Contact contact(button, o.seed);
	GestureQueue queue(contact, o.bounceUs);
	Responder responder(image, button, contact, queue, zero, o.stay);
	Display display(o.plain, wallZero);
	std::vector<Sight> sights;
	Writer writer(display, trace, events, sights, responder, witness, zero, o.figures);
	std::deque<Step> waiting;
	for (size_t i = 0; i < o.gestures.size(); i++)
		Queue(o.gestures[i], "argument " + std::to_string(i + 1), sights, waiting, display);

	// Signals come to this thread, never the responder's.
	sigset_t all, none;
	sigfillset(&all);
	pthread_sigmask(SIG_BLOCK, &all, &none);
	std::thread thread([&] { responder.Run(); });
	std::thread second;
	if (cpus.size() == 2)
		second = std::thread([&] { responder.Answer(); });
	pthread_sigmask(SIG_SETMASK, &none, nullptr);
	struct sigaction sa = {};
	sa.sa_handler = OnSignal;
	sigaction(SIGINT, &sa, nullptr);
	sigaction(SIGTERM, &sa, nullptr);
	signal(SIGPIPE, SIG_IGN);
	if (second.joinable()) {
		Pin(thread, cpus[0]);
		Pin(second, cpus[1]);
	}
	std::string refused = Unprompt(thread);
	if (second.joinable() && refused.empty())
		refused = Unprompt(second);
	if (!refused.empty())
		display.Say("boardsim: no " + refused + " for the responder: a busy machine may stall it");

	bool eof = false;
	std::string partial;
	unsigned lineNo = 0;
	while (!writer.done && !stopping) {
		while (!waiting.empty() && queue.Push(waiting.front()))
			waiting.pop_front();
		writer.Drain();
		// A couple of milliseconds for the display, the trace and the
		// gestures typed; the responder does not wait on them.
		struct timespec ts = {0, 2000000};
		struct pollfd p = {STDIN_FILENO, POLLIN, 0};
		if (ppoll(&p, eof ? 0 : 1, &ts, nullptr) <= 0)
			continue;
		char buf[512];
		ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0) {
			eof = true;
			if (!partial.empty())
				Queue(partial, "line " + std::to_string(++lineNo), sights, waiting, display);
			waiting.push_back(Step{Step::END});
			continue;
		}
		for (ssize_t i = 0; i < n; i++) {
			if (buf[i] != '\n') {
				if (partial.size() < 4096)
					partial += buf[i];
				continue;
			}
			Queue(partial, "line " + std::to_string(++lineNo), sights, waiting, display);
			partial.clear();
		}
	}
	responder.Stop();
	thread.join();
	if (second.joinable())
		second.join();
	writer.Drain(true);
	StopWitness(witness);
	display.Finish();
	if (!trace.Close(writer.lastUs, error) || !events.Close(error)) {
		fprintf(stderr, "boardsim: %s\n", error.c_str());
		return 1;
	}
	return writer.failed ? 1 : 0;
}
