// buttond-probe: bring-up check of the board's button and LEDs against
// what buttond needs. Run by hand, with buttond stopped.
#include <errno.h>
#include <getopt.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "board/hwmap.h"
#include "board/registers.h"
#include "daemon/globals.h"
#include "daemon/startup.h"
#include "probe/analysis.h"
#include "probe/clock.h"
#include "probe/guard.h"
#include "probe/ledwalk.h"
#include "probe/sampler.h"
#include "probe/verdict.h"
#include "probe/vcd.h"
#include "util/os.h"

static const char USAGE[] =
	"usage: buttond-probe [-n PRESSES] [-t SECONDS] [--vcd FILE] [--csv FILE]\n"
	"       buttond-probe --leds [--step MS]\n"
	"       buttond-probe --version\n";

static Record record;
static Analysis analysis;
static uint32_t ledsFound;
static bool walking;

static void PutLedsBack() { *ledRegister = ledsFound; }

// The signal's own end, as the shell that started the probe expects.
static void Reraise(int sig)
{
	signal(sig, SIG_DFL);
	sigset_t set;
	sigemptyset(&set);
	sigaddset(&set, sig);
	sigprocmask(SIG_UNBLOCK, &set, nullptr);
	raise(sig);
}

// While watching, the run stops and its report so far is printed; the LED
// walk has nothing to report.
static void OnSignal(int sig)
{
	if (!walking) {
		stopSignal = sig;
		return;
	}
	PutLedsBack();
	static const char said[] = "\nbuttond-probe: interrupted; LEDs put back as they were\n";
	ssize_t r = write(STDERR_FILENO, said, sizeof said - 1);
	(void)r;
	Reraise(sig);
}

static int Bad(const char* what)
{
	fprintf(stderr, "buttond-probe: %s\n", what);
	return 2;
}

static bool Number(const char* text, unsigned long lo, unsigned long hi, unsigned long& n)
{
	char* end;
	errno = 0;
	n = strtoul(text, &end, 10);
	return *text >= '0' && *text <= '9' && *end == '\0' && errno == 0 && n >= lo && n <= hi;
}

static FILE* OpenOutput(const char* path)
{
	FILE* f = fopen(path, "w");
	if (f == nullptr)
		fprintf(stderr, "buttond-probe: cannot write %s: %s\n", path, strerror(errno));
	return f;
}

static bool Map()
{
	HardwareMap map = BoardMap();
	MapResult result = MapHardware(map, &ledRegister, &gpioBlock);
	int e = errno;
	switch (result) {
	case MapResult::Mapped:
		return true;
	case MapResult::OpenFailed:
		fprintf(stderr, "buttond-probe: cannot open %s: %s%s\n", map.device, strerror(e),
			e == EACCES || e == EPERM ? " (run it as root)" : "");
		return false;
	case MapResult::MapFailed:
		break;
	}
	fprintf(stderr, "buttond-probe: cannot map the board's registers from %s: %s%s\n", map.device,
		strerror(e), e == EPERM ? " (a driver holds the page, and the kernel's STRICT_DEVMEM keeps it)" : "");
	return false;
}

int main(int argc, char** argv)
{
	unsigned long presses = 5, seconds = 60, stepMs = 1000;
	bool leds = false;
	FILE* vcd = nullptr;
	FILE* csv = nullptr;
	const char* vcdPath = nullptr;
	const char* csvPath = nullptr;
	static const struct option opts[] = {
		{"presses", required_argument, nullptr, 'n'},
		{"time", required_argument, nullptr, 't'},
		{"leds", no_argument, nullptr, 'l'},
		{"step", required_argument, nullptr, 's'},
		{"vcd", required_argument, nullptr, 'v'},
		{"csv", required_argument, nullptr, 'c'},
		{"help", no_argument, nullptr, 'h'},
		{"version", no_argument, nullptr, 'V'},
		{nullptr, 0, nullptr, 0},
	};
	opterr = 0;
	for (int c; (c = getopt_long(argc, argv, ":n:t:h", opts, nullptr)) != -1;) {
		switch (c) {
		case 'n':
			if (!Number(optarg, 1, Analysis::MAX_PRESSES, presses))
				return Bad("-n takes a number of presses from 1 to 100");
			break;
		case 't':
			if (!Number(optarg, 1, 3600, seconds))
				return Bad("-t takes seconds from 1 to 3600");
			break;
		case 's':
			if (!Number(optarg, 10, 10000, stepMs))
				return Bad("--step takes milliseconds from 10 to 10000");
			break;
		case 'l': leds = true; break;
		case 'v': vcdPath = optarg; break;
		case 'c': csvPath = optarg; break;
		case 'h': fputs(USAGE, stdout); return 0;
		case 'V': printf("buttond-probe %s\n", BUTTOND_VERSION); return 0;
		case ':':
			fprintf(stderr, "buttond-probe: %s needs a value\n", argv[optind - 1]);
			return 2;
		default:
			fprintf(stderr, "buttond-probe: unknown option %s (see --help)\n", argv[optind - 1]);
			return 2;
		}
	}
	if (optind < argc)
		return Bad("no arguments are taken besides options");
	if (leds && (vcdPath || csvPath))
		return Bad("--leds takes no --vcd or --csv");

	char why[120];
	if (ButtonTaken(why, sizeof why)) {
		fprintf(stderr, "buttond-probe: %s; stop it first, or each would take the other's presses\n", why);
		return 2;
	}
	if ((vcdPath && (vcd = OpenOutput(vcdPath)) == nullptr) ||
	    (csvPath && (csv = OpenOutput(csvPath)) == nullptr))
		return 2;
	buttonMask = BUTTON_MASK;
	if (!Map())
		return 2;

	ledsFound = *ledRegister;
	struct sigaction sa = {};
	sa.sa_handler = OnSignal;
	walking = leds;
	// SIGPIPE too: a reader of the report gone still leaves the files whole.
	static const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};
	for (int sig : signals)
		sigaction(sig, &sa, nullptr);
	setvbuf(stdout, nullptr, _IOLBF, 0);

	if (leds) {
		WalkLeds(uint64_t(stepMs) * 1000);
		PutLedsBack();
		printf("LEDs put back: word 0x%08X\n", ledsFound);
		return 0;
	}

	struct timespec wall;
	OsClockGetTime(CLOCK_REALTIME, &wall);
	printf("press the button %lu times, within %lu s\n", presses, seconds);
	Watch(record, unsigned(presses), uint64_t(seconds) * 1000000);
	PutLedsBack();
	MeasureSleeps(record);

	Analyse(record, analysis);
	if (stopSignal)
		printf("stopped by signal %d: the report so far\n", int(stopSignal));
	PrintPresses(stdout, record, analysis);
	Status st = PrintVerdict(stdout, record, analysis, unsigned(presses), uint64_t(seconds) * 1000000);
	fflush(stdout);
	bool written = true;
	if (csv) {
		PrintCsv(csv, analysis);
		if (fclose(csv) != 0) {
			Bad("cannot write the CSV file");
			written = false;
		}
	}
	if (vcd && !WriteVcd(vcd, record, int64_t(wall.tv_sec) * 1000000 + wall.tv_nsec / 1000)) {
		Bad("cannot write the VCD file");
		written = false;
	}
	if (stopSignal)
		Reraise(int(stopSignal));
	return written ? int(st) : 2;
}
