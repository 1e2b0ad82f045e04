// Integer to text in base 10 or 16, without the C library's locale.
#ifndef BUTTOND_UTIL_CONVERT_H
#define BUTTOND_UTIL_CONVERT_H

#include <stdint.h>

#include <string>

// buffer must hold at least 12 bytes: ten digits, a sign and the terminator.
// Only base 16 is honoured besides 10; any other base converts in base 10.
char* IntToAscii(int32_t value, char* buffer, int base);
std::string IntToString(int32_t value);

#endif
