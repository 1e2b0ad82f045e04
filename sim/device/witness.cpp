#include "sim/device/witness.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <new>

#include "sim/device/clock.h"

static void Watch(WitnessLog& log, uint64_t zero, uint64_t limit)
{
	uint64_t before = MonotonicUs() - zero;
	while (!log.stopping.load(std::memory_order_relaxed)) {
		struct timespec tick = {0, 1000000};
		clock_nanosleep(CLOCK_MONOTONIC, 0, &tick, nullptr);
		uint64_t now = MonotonicUs() - zero;
		if (now - before > limit)
			log.gaps.Push({before, now});
		before = now;
	}
}

WitnessLog* StartWitness(uint64_t zeroUs, uint64_t limitUs)
{
	void* shared = mmap(nullptr, sizeof(WitnessLog), PROT_READ | PROT_WRITE,
			    MAP_SHARED | MAP_ANONYMOUS, -1, 0);
	if (shared == MAP_FAILED)
		return nullptr;
	WitnessLog* log = new (shared) WitnessLog;
	pid_t parent = getpid();
	pid_t pid = fork();
	if (pid < 0) {
		munmap(shared, sizeof(WitnessLog));
		return nullptr;
	}
	if (pid > 0) {
		log->pid = pid;
		return log;
	}

	// The witness: gone with boardsim, holding none of its streams.
	prctl(PR_SET_PDEATHSIG, SIGKILL);
	if (getppid() != parent)
		_exit(0);
	signal(SIGINT, SIG_IGN);
	int null = open("/dev/null", O_RDWR);
	for (int fd = 0; fd < 3 && null >= 0; fd++)
		dup2(null, fd);
	struct sched_param sp = {};
	sp.sched_priority = 10;
	sched_setscheduler(0, SCHED_FIFO, &sp);
	mlockall(MCL_CURRENT | MCL_FUTURE);
	Watch(*log, zeroUs, limitUs);
	_exit(0);
}

void StopWitness(WitnessLog* log)
{
	if (log == nullptr)
		return;
	log->stopping = true;
	waitpid(log->pid, nullptr, 0);
}
