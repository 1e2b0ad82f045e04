// boardsim: the simulated board's button and LEDs on a PC.
//
// Runs the GPIO device behind the board image for as long as it runs, plays
// button gestures from its arguments and then from standard input, and shows
// the LEDs and the button as a person would see them.
#include <errno.h>
#include <getopt.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <string>

#include "board/registers.h"
#include "sim/device/board_image.h"
#include "sim/device/events.h"
#include "sim/device/gesture.h"
#include "sim/device/simbutton.h"
#include "sim/device/vcd.h"
#include "sim/sandbox/stamp.h"

#ifndef BUTTOND_SIM_BOARD
#define BUTTOND_SIM_BOARD "/dev/shm/buttond-board"
#endif

static volatile sig_atomic_t stopping;
static bool redrawing;	// a status line is being redrawn in place on stdout

static void OnSignal(int) { stopping = 1; }

static uint64_t NowUs()
{
	struct timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return uint64_t(ts.tv_sec) * 1000000 + uint64_t(ts.tv_nsec) / 1000;
}

// The four count LEDs, highest first, and the number they show.
static std::string LedRow(uint32_t word)
{
	std::string row;
	for (int bit = 3; bit >= 0; bit--)
		row += (word >> bit) & 1 ? "○" : "●";
	return row + " " + std::to_string(~word & 0xF);
}

struct Display {
	bool plain;
	uint32_t led = 0;
	bool down = false, latched = false, first = true;

	void Show(uint32_t newLed, bool newDown, bool newLatched)
	{
		if (!first && newLed == led && newDown == down && newLatched == latched)
			return;
		if (plain) {
			std::string t = Stamp();
			if (first || newLed != led)
				printf("%s\tleds\t%s\n", t.c_str(), LedRow(newLed).c_str());
			if (first || newDown != down)
				printf("%s\tbutton\t%s\n", t.c_str(), newDown ? "down" : "up");
			if (first || newLatched != latched)
				printf("%s\tlatch\t%s\n", t.c_str(), newLatched ? "set" : "clear");
		} else {
			printf("\r\033[K LEDs %s   button %-4s   latch %s", LedRow(newLed).c_str(),
			       newDown ? "DOWN" : "up", newLatched ? "set" : "-");
		}
		fflush(stdout);
		led = newLed;
		down = newDown;
		latched = newLatched;
		first = false;
	}
};

static void Usage(FILE* f)
{
	fprintf(f,
		"usage: boardsim [-i IMAGE | --led-page FILE --gpio-page FILE] [-e press|release|both]\n"
		"                [-b big|host] [--bounce MS] [--seed N] [--plain] [--stay] [--vcd FILE]\n"
		"                [--events FILE]\n"
		"                [GESTURE...]\n"
		"gestures, one per argument or per line of standard input:\n"
		"  down | up | tap [MS] [xN] | hold SECONDS | wait SECONDS\n"
		"  and, watching the LEDs: hold blink [MAX] | hold dark [MAX] | wait dark [MAX]\n"
		"  | see N [MAX] | count N [on polls] [MAX]\n"
		"  a word that moves the button may end in: bounce MS\n"
		"default image %s; ends at end of input (--stay: at Ctrl-C)\n"
		"--led-page, --gpio-page: the board as two one-page files, as an emulator maps them\n"
		"--bounce MS: every press and release chatters MS ms (0, a clean contact, by default)\n"
		"--seed N: the chatter's pseudo-random intervals (1 by default)\n"
		"--vcd FILE: also write a trace for waveform viewers (and FILE-full.vcd)\n"
		"--events FILE: also write every change as a line, for a live view\n"
		"BUTTOND_TIMEOUT_MULTIPLIER=N multiplies the watching words' default limits\n",
		BUTTOND_SIM_BOARD);
}

static void Queue(const std::string& line, const std::string& where, std::deque<Step>& q)
{
	std::vector<Step> steps;
	std::string error;
	if (!ParseGesture(line, where, steps, error)) {
		fprintf(stderr, "%sboardsim: %s: \"%s\": %s, skipped\n", redrawing ? "\n" : "", where.c_str(),
			line.c_str(), error.c_str());
		return;
	}
	q.insert(q.end(), steps.begin(), steps.end());
}

int main(int argc, char** argv)
{
	const char* path = BUTTOND_SIM_BOARD;
	LatchEdge edge = LatchEdge::Press;
	bool bigEndian = false;
	const char* vcd = nullptr;
	const char* eventsPath = nullptr;
	const char* ledPage = nullptr;
	const char* gpioPage = nullptr;
	bool plain = !isatty(STDOUT_FILENO), stay = false;
	int64_t bounceUs = 0;
	uint64_t seed = 1;
	static const struct option opts[] = {
		{"image", required_argument, nullptr, 'i'},
		{"edge", required_argument, nullptr, 'e'},
		{"byte-order", required_argument, nullptr, 'b'},
		{"plain", no_argument, nullptr, 'p'},
		{"stay", no_argument, nullptr, 's'},
		{"vcd", required_argument, nullptr, 'v'},	// long only
		{"led-page", required_argument, nullptr, 'L'},	// long only
		{"gpio-page", required_argument, nullptr, 'G'},	// long only
		{"bounce", required_argument, nullptr, 'B'},	// long only
		{"seed", required_argument, nullptr, 'S'},	// long only
		{"events", required_argument, nullptr, 'E'},	// long only
		{"help", no_argument, nullptr, 'h'},
		{nullptr, 0, nullptr, 0},
	};
	for (int c; (c = getopt_long(argc, argv, "i:e:b:psh", opts, nullptr)) != -1;) {
		switch (c) {
		case 'i': path = optarg; break;
		case 'p': plain = true; break;
		case 's': stay = true; break;
		case 'v': vcd = optarg; break;
		case 'E': eventsPath = optarg; break;
		case 'L': ledPage = optarg; break;
		case 'G': gpioPage = optarg; break;
		case 'h': Usage(stdout); return 0;
		case 'B':
			if (!BounceMs(optarg, bounceUs)) {
				fprintf(stderr, "boardsim: --bounce takes milliseconds from 0 to 100\n");
				return 2;
			}
			break;
		case 'S': {
			char* end = nullptr;
			errno = 0;
			seed = strtoull(optarg, &end, 10);
			if (*optarg == '\0' || *end != '\0' || errno != 0) {
				fprintf(stderr, "boardsim: --seed takes a number\n");
				return 2;
			}
			break;
		}
		case 'b':
			if (strcmp(optarg, "big") == 0) bigEndian = true;
			else if (strcmp(optarg, "host") == 0) bigEndian = false;
			else { Usage(stderr); return 2; }
			break;
		case 'e':
			if (strcmp(optarg, "press") == 0) edge = LatchEdge::Press;
			else if (strcmp(optarg, "release") == 0) edge = LatchEdge::Release;
			else if (strcmp(optarg, "both") == 0) edge = LatchEdge::Both;
			else { Usage(stderr); return 2; }
			break;
		default: Usage(stderr); return 2;
		}
	}

	// The rig's one multiplier of its limits, for a slow machine.
	if (const char* m = getenv("BUTTOND_TIMEOUT_MULTIPLIER")) {
		char* end = nullptr;
		unsigned long n = strtoul(m, &end, 10);
		if (*m < '1' || *m > '9' || *end != '\0' || n > 1000) {
			fprintf(stderr, "boardsim: BUTTOND_TIMEOUT_MULTIPLIER is a whole number from 1, not '%s'\n", m);
			return 2;
		}
		ScaleLimits(unsigned(n));
	}
	if ((ledPage == nullptr) != (gpioPage == nullptr)) {
		fprintf(stderr, "boardsim: --led-page and --gpio-page go together\n");
		return 2;
	}
	BoardImage image;
	std::string error;
	if (ledPage ? !OpenBoardPages(ledPage, gpioPage, image, error)
		    : !OpenBoardImage(path, image, error)) {
		fprintf(stderr, "boardsim: %s\n", error.c_str());
		return 1;
	}
	BoardTrace trace;
	if (vcd && !trace.Open(vcd, error)) {
		fprintf(stderr, "boardsim: %s\n", error.c_str());
		return 1;
	}
	BoardEvents events;
	if (eventsPath && !events.Open(eventsPath, error)) {
		fprintf(stderr, "boardsim: %s\n", error.c_str());
		return 1;
	}
	struct sigaction sa = {};
	sa.sa_handler = OnSignal;
	sigaction(SIGINT, &sa, nullptr);
	sigaction(SIGTERM, &sa, nullptr);
	signal(SIGPIPE, SIG_IGN);

	redrawing = !plain;
	image.bigEndian = bigEndian;
	SimButton button(image.gpio, BUTTON_MASK, edge, bigEndian);
	Contact contact(button, seed);
	auto record = [&] {
		trace.Record(image.Led(), button.IsPinLow(), button.IsLatched());
		events.Record(image.Led(), button.IsPinLow(), button.IsLatched(), contact.FingerDown());
	};
	record();	// before any gesture
	Display display{plain};
	std::deque<Step> q;
	for (int i = optind; i < argc; i++)
		Queue(argv[i], "argument " + std::to_string(i - optind + 1), q);

	bool eof = false, failed = false;
	std::string pending;
	unsigned lineNo = 0;
	uint64_t due = NowUs(), deadline = 0, shownSince = due, movedAt = 0;
	unsigned shown = ~image.Led() & 0xF, tallyBase = 0;
	while (!stopping) {
		// Answer the daemon's clear well inside the 5 ms it may take.
		button.Service();
		uint64_t now = NowUs();
		// Every toggle as it comes, each in the trace.
		while (contact.PlayNext(now))
			record();
		// One reading for the steps and both views, so they never disagree.
		uint32_t led = image.Led();
		if ((~led & 0xF) != shown) {
			shown = ~led & 0xF;
			shownSince = now;
		}
		// A wait at the end of the queue still holds back what comes next.
		if (q.empty() && due < now)
			due = now;
		while (!q.empty() && now >= due) {
			Step& s = q.front();
			if (s.kind == Step::UNTIL) {
				if (deadline == 0) {
					deadline = now + s.ms * 1000;
					if (s.next) {
						s.shows = (tallyBase + 1) % 16;
						s.sight = "the count " + std::to_string(s.shows);
					}
				}
				if (!Sees(s, shown, (now - shownSince) / 1000)) {
					if (now < deadline)
						break;
					// What follows was meant for a daemon that answered.
					fprintf(stderr, "%sboardsim: %s\n", redrawing ? "\n" : "",
						NeverCame(s, shown).c_str());
					failed = true;
					q.clear();
					deadline = 0;
					contact.Move(false, now, uint64_t(bounceUs));	// if still down
					break;
				}
				deadline = 0;
				due = now;
			} else if (s.kind == Step::WAIT) {
				due += s.ms * 1000;
			} else if (s.kind == Step::AIM) {
				due = AimUs(shownSince, std::max(now, movedAt + AIM_UP_US));
				if (due > now) {
					q.pop_front();
					break;
				}
			} else {
				if (s.tally)
					tallyBase = shown;
				movedAt = now;
				contact.Move(s.kind == Step::DOWN, now,
					     uint64_t(s.bounceUs >= 0 ? s.bounceUs : bounceUs));
				while (contact.PlayNext(now))
					record();
			}
			q.pop_front();
		}
		// Whoever drove the button has gone: a finger still down lets go,
		// so a closed page or a killed driver never leaves it pressed.
		if (eof && q.empty() && now >= due && contact.FingerDown()) {
			contact.Move(false, now, uint64_t(bounceUs));
			while (contact.PlayNext(now))
				record();
		}
		bool latched = button.IsLatched();
		display.Show(led, contact.FingerDown(), latched);
		record();
		if (eof && q.empty() && !stay && now >= due && contact.NextUs() == UINT64_MAX)
			break;

		// Wake for the next toggle or an aimed press on time, else within
		// a millisecond for the LEDs and the daemon's clears.
		uint64_t wake = std::min(now + 1000, contact.NextUs());
		if (!q.empty() && due > now)
			wake = std::min(wake, due);
		uint64_t left = wake > NowUs() ? wake - NowUs() : 0;
		struct timespec ts = {time_t(left / 1000000), long(left % 1000000) * 1000};
		struct pollfd p = {STDIN_FILENO, POLLIN, 0};
		if (ppoll(&p, eof ? 0 : 1, &ts, nullptr) > 0) {
			char buf[512];
			ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
			if (n <= 0 && !(n < 0 && errno == EINTR)) {
				eof = true;
				if (!pending.empty())
					Queue(pending, "line " + std::to_string(++lineNo), q);
				continue;
			}
			for (ssize_t i = 0; i < n; i++) {
				if (buf[i] != '\n') {
					if (pending.size() < 4096)
						pending += buf[i];
					continue;
				}
				Queue(pending, "line " + std::to_string(++lineNo), q);
				pending.clear();
			}
		}
	}
	if (!plain)
		printf("\n");
	if (!trace.Close(error) || !events.Close(error)) {
		fprintf(stderr, "boardsim: %s\n", error.c_str());
		return 1;
	}
	return failed ? 1 : 0;
}
