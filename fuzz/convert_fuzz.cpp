// IntToAscii for any value and base against the C library's printf, in a
// buffer of exactly the 12 bytes callers are told to give it.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "util/convert.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (size < 8)
		return 0;
	int32_t value, base;
	memcpy(&value, data, 4);
	memcpy(&base, data + 4, 4);
	if (size > 8)	// steer half the inputs to the two real bases
		base = data[8] & 1 ? 16 : 10;
	char* buffer = new char[12];
	char* got = IntToAscii(value, buffer, base);
	char expect[16];
	if (base == 10)
		snprintf(expect, sizeof expect, "%d", value);
	else if (base == 16)
		snprintf(expect, sizeof expect, "%X", uint32_t(value));
	else
		snprintf(expect, sizeof expect, "%u", uint32_t(value));
	if (got != buffer || strcmp(buffer, expect) != 0)
		abort();
	delete[] buffer;
	return 0;
}
