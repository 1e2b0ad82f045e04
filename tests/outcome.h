// What a person sees of a selection: its verdict and the counts the LEDs
// showed on the way, read from the virtual world's record.
#ifndef BUTTOND_TESTS_OUTCOME_H
#define BUTTOND_TESTS_OUTCOME_H

#include <string>
#include <vector>

#include "sim/world/fake_os.h"

// Every verdict logged: an action run, or a selection cleared.
inline std::vector<std::string> Verdicts()
{
	std::vector<std::string> out;
	for (const Event& e : world.Only(Event::LOG))
		if (e.text.rfind("Running Command", 0) == 0 || e.text == " No Command selected. Clearing.")
			out.push_back(e.text);
	return out;
}

// The verdict of count presses: sixteen cancel.
inline std::string Verdict(unsigned count)
{
	return count % 16 == 0 ? " No Command selected. Clearing."
			       : "Running Command for Action " + std::to_string(count) + ".";
}

// When the daemon first logged text; UINT64_MAX if never.
inline uint64_t Logged(const std::string& text)
{
	for (const Event& e : world.Only(Event::LOG))
		if (e.text == text)
			return e.us;
	return UINT64_MAX;
}

// The counts the LEDs showed from the selection's start to its verdict.
inline std::vector<unsigned> Counts(uint64_t from, const std::string& verdict)
{
	std::vector<unsigned> out;
	for (const Event& e : world.events) {
		if (e.us < from)
			continue;
		if (e.kind == Event::LOG && e.text == verdict)
			break;
		if (e.kind == Event::LED && (out.empty() || out.back() != (~e.word & 0xF)))
			out.push_back(~e.word & 0xF);
	}
	return out;
}

// 0, 1, ... n: what the LEDs count through for n presses (a sixteenth
// darkens them again).
inline std::vector<unsigned> CountsOf(unsigned n)
{
	std::vector<unsigned> out;
	for (unsigned i = 0; i <= n; i++)
		out.push_back(i % 16);
	return out;
}

#endif
