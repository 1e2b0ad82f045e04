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
static uint64_t sightMs = 30000;
static uint64_t countMs = 10000;
static const unsigned ALL_LIT = 15;

void ScaleLimits(unsigned multiplier)
{
	sightMs = 30000 * uint64_t(multiplier);
	countMs = 10000 * uint64_t(multiplier);
}

static bool Seconds(const std::string& text, double& s)
{
	char* end = nullptr;
	s = strtod(text.c_str(), &end);
	return !text.empty() && *end == '\0' && isfinite(s) && s >= 0 && s <= MAX_SECONDS;
}

static uint64_t Ms(double s) { return static_cast<uint64_t>(llround(s * 1000)); }

// Milliseconds of chatter, a fraction allowed.
static const double MAX_BOUNCE_MS = 100;
bool BounceMs(const std::string& text, int64_t& us)
{
	char* end = nullptr;
	double ms = strtod(text.c_str(), &end);
	if (text.empty() || *end != '\0' || !isfinite(ms) || ms < 0 || ms > MAX_BOUNCE_MS)
		return false;
	us = llround(ms * 1000);
	return true;
}

static bool Count(const std::string& text, uint64_t max, uint64_t& n)
{
	if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
	    text.size() > 6)
		return false;
	n = strtoull(text.c_str(), nullptr, 10);
	return n >= 1 && n <= max;
}

static Step Until(uint64_t ms, unsigned shows, bool still, const std::string& word,
		  const std::string& what, std::vector<Sight>& sights)
{
	Step s{Step::UNTIL};
	s.ms = ms;
	s.shows = shows;
	s.still = still;
	s.sight = uint32_t(sights.size());
	sights.push_back({word, what});
	return s;
}

static Step Move(Step::Kind kind, int64_t bounceUs)
{
	Step s{kind};
	s.bounceUs = bounceUs;
	return s;
}

static void Tap(std::vector<Step>& steps, uint64_t ms, int64_t bounceUs)
{
	steps.push_back(Move(Step::DOWN, bounceUs));
	steps.push_back({Step::WAIT, ms});
	steps.push_back(Move(Step::UP, bounceUs));
}

static const char* const USAGE =
    "expected down, up, tap [MS] [xN], hold SECONDS, wait SECONDS, let go, "
    "hold blink [MAX], hold dark [MAX], wait dark [MAX], see N [MAX], "
    "count N [on polls] [MAX]";

// Takes "a b" off w wherever it stands; true if it was there.
static bool Take(std::vector<std::string>& w, const char* a, const char* b)
{
	for (size_t i = 1; i + 1 < w.size(); i++)
		if (w[i] == a && w[i + 1] == b) {
			w.erase(w.begin() + long(i), w.begin() + long(i) + 2);
			return true;
		}
	return false;
}

// The words that watch the LEDs: "hold blink", "hold dark", "wait dark",
// "see N", "count N [on polls]", each with an optional MAX in seconds.
static bool Watching(std::vector<std::string> w, const std::string& word, int64_t bounceUs,
		     std::vector<Step>& steps, std::vector<Sight>& sights, std::string& error)
{
	const std::string verb = w[0];
	bool counting = verb == "count", seeing = verb == "see";
	bool aimed = counting && Take(w, "on", "polls");
	uint64_t n = 0;
	if (counting && (w.size() < 2 || !Count(w[1], 100, n))) {
		error = "count takes N from 1 to 100";
		return false;
	}
	if (seeing && (w.size() < 2 || !(w[1] == "0" || Count(w[1], 15, n)))) {
		error = "see takes N from 0 to 15";
		return false;
	}
	if (w.size() > 3 || (bounceUs >= 0 && (verb == "wait" || seeing))) {
		error = USAGE;
		return false;
	}
	uint64_t max = counting ? countMs : sightMs;
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
			if (aimed)
				steps.push_back({Step::AIM});
			Step down = Move(Step::DOWN, bounceUs);
			down.tally = true;
			steps.push_back(down);
			// Aimed, the release comes two polls after the press.
			steps.push_back({Step::WAIT, aimed ? 2 * POLL_MS : TAP_MS});
			steps.push_back(Move(Step::UP, bounceUs));
			Step until = Until(max, 0, false, word, "", sights);
			until.next = true;
			steps.push_back(until);
		}
	} else if (seeing) {
		steps.push_back(Until(max, unsigned(n), false, word, "the count " + std::to_string(n), sights));
	} else if (verb == "hold") {
		steps.push_back(Move(Step::DOWN, bounceUs));
		steps.push_back(Until(max, ALL_LIT, false, word, "the selection blink", sights));
		if (w[1] == "dark")
			steps.push_back(Until(max, 0, true, word, "the LEDs dark and still after the blink", sights));
		steps.push_back(Move(Step::UP, bounceUs));
	} else {
		steps.push_back(Until(max, 0, true, word, "the LEDs dark and still", sights));
	}
	return true;
}

bool ParseGesture(const std::string& line, const std::string& where, std::vector<Step>& steps,
		  std::vector<Sight>& sights, std::string& error)
{
	std::string text = line.substr(0, line.find('#'));
	std::istringstream in(text);
	std::vector<std::string> w;
	for (std::string t; in >> t;)
		w.push_back(t);
	if (w.empty())
		return true;

	int64_t bounceUs = -1;	// boardsim's own
	if (w.size() >= 3 && w[w.size() - 2] == "bounce") {
		if (!BounceMs(w.back(), bounceUs)) {
			error = "'" + w.back() + "' is not a bounce in milliseconds from 0 to 100";
			return false;
		}
		w.resize(w.size() - 2);
	}
	const std::string& verb = w[0];
	if ((verb == "hold" && w.size() >= 2 && (w[1] == "blink" || w[1] == "dark")) ||
	    (verb == "wait" && w.size() >= 2 && w[1] == "dark") || verb == "count" || verb == "see")
		return Watching(w, where + ": \"" + line + "\"", bounceUs, steps, sights, error);

	double s;
	if (verb == "let" && w.size() == 2 && w[1] == "go" && bounceUs < 0) {
		steps.push_back({Step::LET_GO});
		return true;
	}
	if ((verb == "down" || verb == "up") && w.size() == 1) {
		steps.push_back(Move(verb == "down" ? Step::DOWN : Step::UP, bounceUs));
		return true;
	}
	if ((verb == "hold" || verb == "wait") && w.size() == 2 && (verb == "hold" || bounceUs < 0)) {
		if (!Seconds(w[1], s)) {
			error = "'" + w[1] + "' is not a number of seconds from 0 to 3600";
			return false;
		}
		if (verb == "hold")
			Tap(steps, Ms(s), bounceUs);
		else
			steps.push_back({Step::WAIT, Ms(s)});
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
			Tap(steps, ms, bounceUs);
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

uint64_t AimUs(uint64_t changedUs, uint64_t earliestUs)
{
	const uint64_t poll = POLL_MS * 1000, first = changedUs + SETTLE_MS * 1000;
	uint64_t k = 2;
	if (earliestUs + AIM_LEAD_US > first + k * poll)
		k = (earliestUs + AIM_LEAD_US - first + poll - 1) / poll;
	return first + k * poll - AIM_LEAD_US;
}

std::string NeverCame(const Step& step, const Sight& sight, unsigned shown)
{
	char limit[32];
	snprintf(limit, sizeof limit, "%g", double(step.ms) / 1000);
	std::string what = step.next ? "the count " + std::to_string(step.shows) : sight.what;
	return sight.word + ": " + what + " never came in " + limit + " s (the LEDs show " +
	       std::to_string(shown) + ")";
}
