#include "sim/device/gesture.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include <sstream>

static const double MAX_SECONDS = 3600;
static const uint64_t TAP_MS = 150;
static const uint64_t TAP_GAP_MS = 350;
// Long enough for a busy machine's slow commands, short enough that a
// daemon that never answers fails the gesture promptly.
static const uint64_t SIGHT_MS = 30000;
static const uint64_t COUNT_MS = 10000;
static const unsigned ALL_LIT = 15;

static bool Seconds(const std::string& text, double& s)
{
	char* end = nullptr;
	s = strtod(text.c_str(), &end);
	return !text.empty() && *end == '\0' && isfinite(s) && s >= 0 && s <= MAX_SECONDS;
}

static uint64_t Ms(double s) { return static_cast<uint64_t>(llround(s * 1000)); }

static bool Count(const std::string& text, uint64_t max, uint64_t& n)
{
	if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
	    text.size() > 6)
		return false;
	n = strtoull(text.c_str(), nullptr, 10);
	return n >= 1 && n <= max;
}

static Step Until(uint64_t ms, unsigned shows, bool still, const std::string& word,
		  const std::string& sight)
{
	Step s{Step::UNTIL};
	s.ms = ms;
	s.shows = shows;
	s.still = still;
	s.word = word;
	s.sight = sight;
	return s;
}

static void Tap(std::vector<Step>& steps, uint64_t ms)
{
	steps.push_back({Step::DOWN});
	steps.push_back({Step::WAIT, ms});
	steps.push_back({Step::UP});
}

static const char* const USAGE =
    "expected down, up, tap [MS] [xN], hold SECONDS, wait SECONDS, "
    "hold blink [MAX], wait dark [MAX] or count N [MAX]";

// The words that watch the LEDs: "hold blink", "wait dark", "count N",
// each with an optional MAX in seconds.
static bool Watching(const std::vector<std::string>& w, const std::string& word,
		     std::vector<Step>& steps, std::string& error)
{
	bool counting = w[0] == "count";
	uint64_t n = 0;
	if (counting && (w.size() < 2 || !Count(w[1], 100, n))) {
		error = "count takes N from 1 to 100";
		return false;
	}
	if (w.size() > 3) {
		error = USAGE;
		return false;
	}
	uint64_t max = counting ? COUNT_MS : SIGHT_MS;
	double s;
	if (w.size() == 3) {	// the limit follows the word's second
		if (!Seconds(w[2], s) || s == 0) {
			error = "'" + w[2] + "' is not a limit in seconds, above 0 and up to 3600";
			return false;
		}
		max = Ms(s);
	}
	if (counting) {
		for (uint64_t i = 1; i <= n; i++) {
			Tap(steps, TAP_MS);
			steps.push_back(Until(max, i % 16, false, word,
					      "the count " + std::to_string(i % 16)));
		}
	} else if (w[0] == "hold") {
		steps.push_back({Step::DOWN});
		steps.push_back(Until(max, ALL_LIT, false, word, "the selection blink"));
		steps.push_back({Step::UP});
	} else {
		steps.push_back(Until(max, 0, true, word, "the LEDs dark and still"));
	}
	return true;
}

bool ParseGesture(const std::string& line, const std::string& where,
		  std::vector<Step>& steps, std::string& error)
{
	std::string text = line.substr(0, line.find('#'));
	std::istringstream in(text);
	std::vector<std::string> w;
	for (std::string t; in >> t;)
		w.push_back(t);
	if (w.empty())
		return true;

	const std::string& verb = w[0];
	if ((verb == "hold" && w.size() >= 2 && w[1] == "blink") ||
	    (verb == "wait" && w.size() >= 2 && w[1] == "dark") || verb == "count")
		return Watching(w, where + ": \"" + line + "\"", steps, error);

	double s;
	if ((verb == "down" || verb == "up") && w.size() == 1) {
		steps.push_back({verb == "down" ? Step::DOWN : Step::UP});
		return true;
	}
	if ((verb == "hold" || verb == "wait") && w.size() == 2) {
		if (!Seconds(w[1], s)) {
			error = "'" + w[1] + "' is not a number of seconds from 0 to 3600";
			return false;
		}
		if (verb == "hold") {
			steps.push_back({Step::DOWN});
			steps.push_back({Step::WAIT, Ms(s)});
			steps.push_back({Step::UP});
		} else {
			steps.push_back({Step::WAIT, Ms(s)});
		}
		return true;
	}
	if (verb == "tap" && w.size() <= 3) {
		uint64_t ms = TAP_MS, times = 1;
		for (size_t i = 1; i < w.size(); i++) {
			bool ok = w[i][0] == 'x' ? Count(w[i].substr(1), 100, times)
						 : Count(w[i], 60000, ms);
			if (!ok) {
				error = "'" + w[i] + "' is neither MS (1-60000) nor xN (x1-x100)";
				return false;
			}
		}
		for (uint64_t i = 0; i < times; i++) {
			Tap(steps, ms);
			steps.push_back({Step::WAIT, TAP_GAP_MS});
		}
		return true;
	}
	error = USAGE;
	return false;
}

bool Sees(const Step& s, unsigned shown, uint64_t stillMs)
{
	if (s.still)
		return shown == 0 && stillMs >= STILL_MS;
	return shown == s.shows;
}

std::string NeverCame(const Step& s, unsigned shown)
{
	char limit[32];
	snprintf(limit, sizeof limit, "%g", double(s.ms) / 1000);
	return s.word + ": " + s.sight + " never came in " + limit + " s (the LEDs show " +
	       std::to_string(shown) + ")";
}
