#include "daemon/startup.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <syslog.h>
#include <unistd.h>

#include "board/button.h"
#include "board/leds.h"
#include "board/registers.h"
#include "daemon/globals.h"
#include "select/actions.h"
#include "util/os.h"

static char* CopyString(const char* s)
{
	size_t n = strlen(s) + 1;
	char* copy = new char[n];
	memcpy(copy, s, n);
	return copy;
}

void ReadCommandLine(int argc, char** argv)
{
	debugLevel = 0;
	for (int i = 1; i < argc; i++)
		if (argv[i][0] != '\0' && (argv[i][1] == 'D' || argv[i][1] == 'd'))
			debugLevel++;

	// Started with no argv[0] at all (argc 0): fall back to our own name.
	const char* path = argc > 0 ? argv[0] : "buttond";
	const char* slash = strrchr(path, '/');
	programName = CopyString(slash != nullptr && slash[1] != '\0' ? slash + 1 : path);

	size_t n = strlen(programName) + 14;
	pidFilePath = new char[n];
	snprintf(pidFilePath, n, "/var/run/%s.pid", programName);
}

// uClibc-ng declares program_invocation_short_name only when built with
// UCLIBC_HAS_PROGRAM_INVOCATION_NAME; Buildroot's configuration sets it.
#if defined(__UCLIBC__) && !defined(__UCLIBC_HAS_PROGRAM_INVOCATION_NAME__)
#error "uClibc-ng without program_invocation_short_name: build it with UCLIBC_HAS_PROGRAM_INVOCATION_NAME=y (Buildroot's uClibc-ng configuration sets it)"
#endif

// Without openlog musl tags each line with nothing and uClibc-ng with
// "syslog"; the board's log filters look for "buttond:". Option 0 still
// connects only at the first line.
void StartLog()
{
	OsOpenlog(program_invocation_short_name, 0, LOG_USER);
	OsSyslog(LOG_INFO, "program starting v%s", BUTTOND_VERSION);
}

bool MapBoard(const HardwareMap& map)
{
	switch (MapHardware(map, &ledRegister, &gpioBlock)) {
	case MapResult::Mapped:
		return true;
	case MapResult::OpenFailed:
		OsSyslog(LOG_NOTICE, "Error opening /dev/mem, exiting");
		return false;
	case MapResult::MapFailed:
		break;
	}
	OsSyslog(LOG_NOTICE, "Error mapping /dev/mem, exiting");
	return false;
}

void MainLoopIteration()
{
	OsSleep(1);
	if (!IsButtonPressed())
		return;
	OsSyslog(LOG_NOTICE, "Start of button hold...");
	// Only two samples: a release and re-press in between still confirms.
	OsSleep(4);
	if (IsButtonPressed()) {
		OsSyslog(LOG_NOTICE, " Button was held for 4 SEC...");
		SignalLightsSelect();
		// The blink's end looks at the hold: the first press may come
		// the moment the LEDs go dark.
		BlinkLeds(4, 15, LookAtHold);
		ShowLedPattern(0);
		SelectAction();
		ShowLedPattern(0);
		SignalLightsNormal();
	} else {
		OsSyslog(LOG_NOTICE, " Was not held long enough.  Cleared.");
	}
	ClearButtonEvent();
}
