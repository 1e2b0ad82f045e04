#include <gtest/gtest.h>

#include "sim/device/gesture.h"

namespace {

// Steps as text: D, U, and the milliseconds of each wait.
std::string Parse(const std::string& line, bool& ok)
{
	std::vector<Step> steps;
	std::string error;
	ok = ParseGesture(line, steps, error);
	EXPECT_EQ(ok, error.empty()) << line;
	std::string s;
	for (const Step& st : steps)
		s += st.kind == Step::DOWN ? "D " : st.kind == Step::UP ? "U " : std::to_string(st.ms) + " ";
	return s;
}

TEST(Gesture, Parser)
{
	struct Case {
		const char* line;
		bool ok;
		const char* steps;
	} cases[] = {
		{"down  # press", true, "D "},
		{"", true, ""},
		{"tap", true, "D 150 U 350 "},
		{"tap 40 x2", true, "D 40 U 350 D 40 U 350 "},
		{"tap x2 40", true, "D 40 U 350 D 40 U 350 "},
		{"hold 4.5", true, "D 4500 U "},
		{"hold", false, ""},
		{"hold nan", false, ""},
		{"wait 1e9", false, ""},
		{"tap x0", false, ""},
		{"tap 99999999999999999999", false, ""},
		{"tap 10 x2 x3", false, ""},
		{"press", false, ""},
	};
	for (const Case& c : cases) {
		bool ok;
		EXPECT_EQ(Parse(c.line, ok), c.steps) << c.line;
		EXPECT_EQ(ok, c.ok) << c.line;
	}
}

}  // namespace
