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
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "board/registers.h"
#include "sim/device/board_image.h"
#include "sim/device/clock.h"
#include "sim/device/display.h"
#include "sim/device/events.h"
#include "sim/device/gesture.h"
#include "sim/device/gesture_queue.h"
#include "sim/device/options.h"
#include "sim/device/report.h"
#include "sim/device/responder.h"
#include "sim/device/vcd.h"
#include "sim/device/witness.h"

static volatile sig_atomic_t stopping;

static void OnSignal(int) { stopping = 1; }

// The first two CPUs this process may run on: the responder's and its
// second's. On a single CPU neither the second nor a witness can help.
static std::vector<int> TwoCpus()
{
	cpu_set_t allowed;
	std::vector<int> cpus;
	if (sched_getaffinity(0, sizeof allowed, &allowed) == 0)
		for (int cpu = 0; cpu < CPU_SETSIZE && cpus.size() < 2; cpu++)
			if (CPU_ISSET(cpu, &allowed))
				cpus.push_back(cpu);
	return cpus;
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

// Starts the responder, and its second where there is another CPU, with
// every signal left to this thread; then the signals' handlers.
static void Start(Responder& responder, const std::vector<int>& cpus, std::thread& first, std::thread& second,
		  Display& display)
{
	sigset_t all, none;
	sigfillset(&all);
	pthread_sigmask(SIG_BLOCK, &all, &none);
	first = std::thread([&responder] { responder.Run(); });
	if (cpus.size() == 2)
		second = std::thread([&responder] { responder.Answer(); });
	pthread_sigmask(SIG_SETMASK, &none, nullptr);
	struct sigaction sa = {};
	sa.sa_handler = OnSignal;
	sigaction(SIGINT, &sa, nullptr);
	sigaction(SIGTERM, &sa, nullptr);
	signal(SIGPIPE, SIG_IGN);
	if (second.joinable()) {
		Pin(first, cpus[0]);
		Pin(second, cpus[1]);
	}
	std::string refused = Unprompt(first);
	if (second.joinable() && refused.empty())
		refused = Unprompt(second);
	if (!refused.empty())
		display.Say("boardsim: no " + refused + " for the responder: a busy machine may stall it");
}

// Gestures parsed into steps, held here until the responder's queue has
// room for them.
struct Input {
	Input(GestureQueue& q, Display& d) : queue(q), display(d) {}

	GestureQueue& queue;
	Display& display;
	std::vector<Sight> sights;
	std::deque<Step> waiting;
	std::string partial;
	unsigned lineNo = 0;
	bool eof = false;

	// Parses a line into steps; a bad line is said and skipped.
	void Queue(const std::string& line, const std::string& where)
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

	void Feed()
	{
		while (!waiting.empty() && queue.Push(waiting.front()))
			waiting.pop_front();
	}

	// Reads what standard input has, waiting at most a couple of
	// milliseconds; its end lets the finger go once the gestures are done.
	void Read()
	{
		struct timespec ts = {0, 2000000};
		struct pollfd p = {STDIN_FILENO, POLLIN, 0};
		if (ppoll(&p, eof ? 0 : 1, &ts, nullptr) <= 0)
			return;
		char buf[512];
		ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
		if (n < 0 && errno == EINTR)
			return;
		if (n <= 0) {
			eof = true;
			if (!partial.empty())
				Queue(partial, "line " + std::to_string(++lineNo));
			waiting.push_back(Step{Step::END});
			return;
		}
		for (ssize_t i = 0; i < n; i++) {
			if (buf[i] != '\n') {
				if (partial.size() < 4096)
					partial += buf[i];
				continue;
			}
			Queue(partial, "line " + std::to_string(++lineNo));
			partial.clear();
		}
	}
};

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

	std::vector<int> cpus = TwoCpus();
	WitnessLog* witness = cpus.size() == 2 ? StartWitness(zero, RIG_FAULT_US) : nullptr;
	SimButton button(image.gpio, BUTTON_MASK, o.edge, o.bigEndian);
	Contact contact(button, o.seed);
	GestureQueue queue(contact, o.bounceUs);
	Responder responder(image, button, contact, queue, zero, o.stay);
	Display display(o.plain, wallZero);
	Input input(queue, display);
	Report report(display, trace, events, input.sights, responder, witness, zero, o.figures);
	for (size_t i = 0; i < o.gestures.size(); i++)
		input.Queue(o.gestures[i], "argument " + std::to_string(i + 1));

	std::thread first, second;
	Start(responder, cpus, first, second, display);
	while (!report.done && !stopping) {
		input.Feed();
		report.Drain();
		input.Read();
	}
	responder.Stop();
	first.join();
	if (second.joinable())
		second.join();
	report.Drain(true);
	StopWitness(witness);
	display.Finish();
	if (!trace.Close(report.lastUs, error) || !events.Close(error)) {
		fprintf(stderr, "boardsim: %s\n", error.c_str());
		return 1;
	}
	return report.failed ? 1 : 0;
}
