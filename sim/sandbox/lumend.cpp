// Stand-in for the board's light daemon: its process name is lumend, so
// buttond's killall reaches it, and it records every SIGUSR1 and SIGUSR2
// as "HH:MM:SS.mmm<TAB>SIGUSR1" lines in the file named by its argument.
#include <signal.h>
#include <stdio.h>

#include "sim/sandbox/stamp.h"

int main(int argc, char** argv)
{
	if (argc != 2) {
		fprintf(stderr, "usage: lumend RECORD-FILE\n");
		return 2;
	}
	sigset_t set;
	sigemptyset(&set);
	sigaddset(&set, SIGUSR1);
	sigaddset(&set, SIGUSR2);
	sigaddset(&set, SIGTERM);
	sigprocmask(SIG_BLOCK, &set, nullptr);
	FILE* out = fopen(argv[1], "a");
	if (out == nullptr) {
		perror(argv[1]);
		return 1;
	}
	for (;;) {
		int sig = sigwaitinfo(&set, nullptr);
		if (sig == SIGTERM)
			return 0;
		if (sig < 0)
			continue;
		fprintf(out, "%s\t%s\n", Stamp().c_str(), sig == SIGUSR1 ? "SIGUSR1" : "SIGUSR2");
		fflush(out);
	}
}
