#include "sim/device/options.h"

#include <errno.h>
#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "sim/device/gesture.h"

#ifndef BUTTOND_SIM_BOARD
#define BUTTOND_SIM_BOARD "/dev/shm/buttond-board"
#endif

static void Usage(FILE* f)
{
	fprintf(f,
		"usage: boardsim [-i IMAGE | --led-page FILE --gpio-page FILE] [-e press|release|both|none]\n"
		"                [-b big|host] [--bounce MS] [--seed N] [--plain] [--stay] [--vcd FILE]\n"
		"                [--events FILE] [--figures FILE] [GESTURE...]\n"
		"gestures, one per argument or per line of standard input:\n"
		"  down | up | tap [MS] [xN] | hold SECONDS | wait SECONDS\n"
		"  | let go (drops what is queued and lets go at once)\n"
		"  and, watching the LEDs: hold blink [MAX] | hold dark [MAX] | wait dark [MAX]\n"
		"  | see N [MAX] | count N [on polls] [MAX]\n"
		"  a word that moves the button may end in: bounce MS\n"
		"default image %s; ends at end of input (--stay: at Ctrl-C), letting go of the button\n"
		"--led-page, --gpio-page: the board as two one-page files, as an emulator maps them\n"
		"-e: the edges the GPIO block latches (press); none: a block never set up to latch\n"
		"--bounce MS: every press and release chatters MS ms (0, a clean contact, by default)\n"
		"--seed N: the chatter's pseudo-random intervals (1 by default)\n"
		"--vcd FILE: also write a trace for waveform viewers (and FILE-full.vcd)\n"
		"--events FILE: also write every change as a line, for a live view\n"
		"--figures FILE: keep the responder's figures there (clears, worst answer, longest gap)\n"
		"BUTTOND_TIMEOUT_MULTIPLIER=N multiplies the watching words' default limits\n",
		BUTTOND_SIM_BOARD);
}

static bool Number(const char* text, uint64_t& n)
{
	char* end = nullptr;
	errno = 0;
	n = strtoull(text, &end, 10);
	return *text >= '0' && *text <= '9' && *end == '\0' && errno == 0;
}

int ReadOptions(int argc, char** argv, Options& o)
{
	o.image = BUTTOND_SIM_BOARD;
	o.plain = !isatty(STDOUT_FILENO);
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
		{"figures", required_argument, nullptr, 'F'},	// long only
		{"help", no_argument, nullptr, 'h'},
		{nullptr, 0, nullptr, 0},
	};
	for (int c; (c = getopt_long(argc, argv, "i:e:b:psh", opts, nullptr)) != -1;) {
		switch (c) {
		case 'i': o.image = optarg; break;
		case 'p': o.plain = true; break;
		case 's': o.stay = true; break;
		case 'v': o.vcd = optarg; break;
		case 'L': o.ledPage = optarg; break;
		case 'G': o.gpioPage = optarg; break;
		case 'E': o.events = optarg; break;
		case 'F': o.figures = optarg; break;
		case 'h': Usage(stdout); return 0;
		case 'B':
			if (!BounceMs(optarg, o.bounceUs)) {
				fprintf(stderr, "boardsim: --bounce takes milliseconds from 0 to 100\n");
				return 2;
			}
			break;
		case 'S':
			if (!Number(optarg, o.seed)) {
				fprintf(stderr, "boardsim: --seed takes a number\n");
				return 2;
			}
			break;
		case 'b':
			if (strcmp(optarg, "big") == 0) o.bigEndian = true;
			else if (strcmp(optarg, "host") == 0) o.bigEndian = false;
			else { Usage(stderr); return 2; }
			break;
		case 'e':
			if (strcmp(optarg, "press") == 0) o.edge = LatchEdge::Press;
			else if (strcmp(optarg, "release") == 0) o.edge = LatchEdge::Release;
			else if (strcmp(optarg, "both") == 0) o.edge = LatchEdge::Both;
			else if (strcmp(optarg, "none") == 0) o.edge = LatchEdge::None;
			else { Usage(stderr); return 2; }
			break;
		default: Usage(stderr); return 2;
		}
	}
	for (int i = optind; i < argc; i++)
		o.gestures.push_back(argv[i]);

	// The rig's one multiplier of its limits, for a slow machine.
	if (const char* m = getenv("BUTTOND_TIMEOUT_MULTIPLIER")) {
		uint64_t n = 0;
		if (!Number(m, n) || *m == '0' || n > 1000) {
			fprintf(stderr, "boardsim: BUTTOND_TIMEOUT_MULTIPLIER is a whole number from 1, not '%s'\n", m);
			return 2;
		}
		ScaleLimits(unsigned(n));
	}
	if ((o.ledPage == nullptr) != (o.gpioPage == nullptr)) {
		fprintf(stderr, "boardsim: --led-page and --gpio-page go together\n");
		return 2;
	}
	return -1;
}
