// The light daemon's stand-in on the emulated board: named lumend, so the
// daemon's killall reaches it, it reports every SIGUSR1 and SIGUSR2 on the
// console as "@rec signals SIGUSR1", where the test host stamps and
// records it. A signalfd takes them one by one, so two sent a moment apart
// stay two, with no time-out to pass through the C library's 32-bit-time
// calls, which the board's kernel lacks.
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/signalfd.h>
#include <unistd.h>

int main()
{
	sigset_t set;
	sigemptyset(&set);
	sigaddset(&set, SIGUSR1);
	sigaddset(&set, SIGUSR2);
	sigaddset(&set, SIGTERM);
	sigprocmask(SIG_BLOCK, &set, nullptr);
	int sfd = signalfd(-1, &set, SFD_CLOEXEC);
	int console = open("/dev/console", O_WRONLY | O_NOCTTY | O_CLOEXEC);
	if (sfd < 0 || console < 0)
		return 1;
	for (struct signalfd_siginfo si; read(sfd, &si, sizeof si) == sizeof si;) {
		if (si.ssi_signo == SIGTERM)
			return 0;
		const char* line = si.ssi_signo == SIGUSR1 ? "@rec signals\tSIGUSR1\n" : "@rec signals\tSIGUSR2\n";
		if (write(console, line, strlen(line)) < 0)
			return 1;
	}
	return 1;
}
