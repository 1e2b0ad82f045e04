// What a person sees of a selection: its verdict and the counts the LEDs
// showed on the way, read from the virtual world's record; and the record.
#ifndef BUTTOND_TESTS_OUTCOME_H
#define BUTTOND_TESTS_OUTCOME_H

#include <stdio.h>

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

// "seconds.millis what" lines: log<priority> text, sh command, led <word>,
// sync.
// A time off the whole millisecond shows its microseconds.
inline std::string Timeline()
{
	std::string out;
	for (const Event& e : world.events) {
		char at[32], line[600];
		uint64_t s = e.us / SEC, us = e.us % SEC;
		if (us % MS == 0)
			snprintf(at, sizeof at, "%u.%03u", unsigned(s), unsigned(us / MS));
		else
			snprintf(at, sizeof at, "%u.%06u", unsigned(s), unsigned(us));
		if (e.kind == Event::LED)
			snprintf(line, sizeof line, "%s led %08X\n", at, e.word);
		else if (e.kind == Event::SYNC)
			snprintf(line, sizeof line, "%s sync\n", at);
		else
			snprintf(line, sizeof line, "%s %s%s %s\n", at, e.kind == Event::LOG ? "log" : "sh",
				 e.kind == Event::LOG ? std::to_string(e.priority).c_str() : "", e.text.c_str());
		out += line;
	}
	return out;
}

#endif
