#include "sim/device/gesture.h"

#include <math.h>
#include <stdlib.h>

#include <sstream>

static const double MAX_SECONDS = 3600;
static const uint64_t TAP_GAP_MS = 350;

static bool Seconds(const std::string& text, double& s)
{
	char* end = nullptr;
	s = strtod(text.c_str(), &end);
	return !text.empty() && *end == '\0' && isfinite(s) && s >= 0 && s <= MAX_SECONDS;
}

static bool Count(const std::string& text, uint64_t max, uint64_t& n)
{
	if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
	    text.size() > 6)
		return false;
	n = strtoull(text.c_str(), nullptr, 10);
	return n >= 1 && n <= max;
}

bool ParseGesture(const std::string& line, std::vector<Step>& steps, std::string& error)
{
	std::istringstream in(line.substr(0, line.find('#')));
	std::vector<std::string> w;
	for (std::string t; in >> t;)
		w.push_back(t);
	if (w.empty())
		return true;

	const std::string& verb = w[0];
	double s;
	if ((verb == "down" || verb == "up") && w.size() == 1) {
		steps.push_back({verb == "down" ? Step::DOWN : Step::UP, 0});
		return true;
	}
	if ((verb == "hold" || verb == "wait") && w.size() == 2) {
		if (!Seconds(w[1], s)) {
			error = "'" + w[1] + "' is not a number of seconds from 0 to 3600";
			return false;
		}
		uint64_t ms = static_cast<uint64_t>(llround(s * 1000));
		if (verb == "hold")
			steps.insert(steps.end(), {{Step::DOWN, 0}, {Step::WAIT, ms}, {Step::UP, 0}});
		else
			steps.push_back({Step::WAIT, ms});
		return true;
	}
	if (verb == "tap" && w.size() <= 3) {
		uint64_t ms = 150, times = 1;
		for (size_t i = 1; i < w.size(); i++) {
			bool ok = w[i][0] == 'x' ? Count(w[i].substr(1), 100, times)
						 : Count(w[i], 60000, ms);
			if (!ok) {
				error = "'" + w[i] + "' is neither MS (1-60000) nor xN (x1-x100)";
				return false;
			}
		}
		for (uint64_t i = 0; i < times; i++)
			steps.insert(steps.end(), {{Step::DOWN, 0}, {Step::WAIT, ms},
						   {Step::UP, 0}, {Step::WAIT, TAP_GAP_MS}});
		return true;
	}
	error = "expected down, up, tap [MS] [xN], hold SECONDS or wait SECONDS";
	return false;
}
