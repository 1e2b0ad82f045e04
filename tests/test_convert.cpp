#include <gtest/gtest.h>

#include <limits.h>

#include "util/convert.h"

TEST(Convert, IntToAscii)
{
	struct Case {
		int32_t value;
		int base;
		const char* text;
	} cases[] = {
		{0, 10, "0"},
		{0, 16, "0"},
		{-42, 10, "-42"},
		{255, 16, "FF"},
		{int32_t(0xABCDEF09), 16, "ABCDEF09"},
		{-1, 16, "FFFFFFFF"},
		{INT_MIN, 10, "-2147483648"},
		{INT_MIN, 16, "80000000"},
		{64, 8, "64"},		// unsupported bases convert in base 10
		{-1, 8, "4294967295"},	// ... unsigned, without a sign
	};
	for (const Case& c : cases) {
		char buffer[12];
		memset(buffer, 'x', sizeof buffer);
		EXPECT_EQ(IntToAscii(c.value, buffer, c.base), buffer);
		EXPECT_STREQ(buffer, c.text) << c.value << " base " << c.base;
	}
	EXPECT_EQ(IntToString(INT_MIN), "-2147483648");
}
