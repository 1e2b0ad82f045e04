#include "util/convert.h"

#include <algorithm>

char* IntToAscii(int32_t value, char* buffer, int base)
{
	// Work on the unsigned pattern: negating INT32_MIN is then well defined
	// and yields the same bits, which convert to the right magnitude.
	uint32_t v = static_cast<uint32_t>(value);
	bool negative = false;
	if (base == 10 && value < 0) {
		negative = true;
		v = 0u - v;
	}
	int n = 0;
	if (v == 0)
		buffer[n++] = '0';
	uint32_t b = base == 16 ? 16 : 10;
	while (v != 0) {
		uint32_t digit = v % b;
		v /= b;
		buffer[n++] = static_cast<char>(digit < 10 ? '0' + digit : digit + 55);
	}
	if (negative)
		buffer[n++] = '-';
	buffer[n] = '\0';
	std::reverse(buffer, buffer + n);
	return buffer;
}

std::string IntToString(int32_t value)
{
	char buffer[12];
	return IntToAscii(value, buffer, 10);
}
