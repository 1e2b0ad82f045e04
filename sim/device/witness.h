// boardsim's witness: a process of its own that only keeps time. When the
// rig was away, the witness tells whether the machine as a whole stood
// still (a virtual machine paused by its host: every process, the daemon
// too) or the rig alone did. Being another process, it runs on when
// boardsim alone is stopped.
#ifndef BUTTOND_SIM_WITNESS_H
#define BUTTOND_SIM_WITNESS_H

#include <stdint.h>

#include <atomic>

#include "sim/device/ring.h"

struct Gap {
	uint64_t from, to;	// microseconds since boardsim's time zero
};

// Shared between boardsim and the witness.
struct WitnessLog {
	Ring<Gap, 256> gaps;	// the witness's own gaps over the limit
	std::atomic<bool> stopping{false};
	int pid = 0;		// boardsim's side only
};

// Starts the witness at real-time priority where allowed; it ends with
// boardsim, however boardsim ends. Null where it cannot start.
WitnessLog* StartWitness(uint64_t zeroUs, uint64_t limitUs);
// Ends it and waits for it.
void StopWitness(WitnessLog* log);

#endif
