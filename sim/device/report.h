// boardsim's report: what the responder hands over, written where it
// belongs (the display, the trace, the events), and the rig's verdict on
// its own stalls, so that a stall of the rig is never taken for the daemon's
// fault.
#ifndef BUTTOND_SIM_REPORT_H
#define BUTTOND_SIM_REPORT_H

#include <stdint.h>

#include <string>
#include <vector>

#include "sim/device/display.h"
#include "sim/device/events.h"
#include "sim/device/gesture.h"
#include "sim/device/responder.h"
#include "sim/device/vcd.h"
#include "sim/device/witness.h"

class Report {
public:
	// witness may be null; figures, a file for the rig's figures, too.
	Report(Display& display, BoardTrace& trace, BoardEvents& events, const std::vector<Sight>& sights,
	       Responder& responder, WitnessLog* witness, uint64_t zeroUs, const char* figures);

	// Writes what the responder has handed over so far; finally, at the end,
	// judges every stall without waiting for the witness.
	void Drain(bool finally = false);

	bool failed = false;	// a sight never came, or the rig was at fault
	bool done = false;	// the gestures are over
	uint64_t lastUs = 0;	// the last change's time

private:
	void Fault(uint64_t us, const std::string& what);
	void Judge(const Change& c, bool machine);
	void Late(const Change& c);
	void Weigh(bool finally);
	void Figures();

	Display& display;
	BoardTrace& trace;
	BoardEvents& events;
	const std::vector<Sight>& sights;
	Responder& responder;
	WitnessLog* witness;
	uint64_t zero;
	const char* figures;
	uint64_t lost = 0, faults = 0, machineStalls = 0, longestMachineStall = 0, slowCpus = 0;
	std::vector<Change> stalls;	// the responder's, until the witness has spoken
	std::vector<Gap> gaps;		// the witness's
	std::string written;
};

#endif
