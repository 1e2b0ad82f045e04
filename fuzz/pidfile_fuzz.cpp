// Arbitrary pid-file content must read as strtol base 10, saturated to 32
// bits, of the file's first 64 bytes: never a crash, a hang or another id.
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "daemon/globals.h"
#include "daemon/pidfile.h"

static int32_t Reference(const uint8_t* data, size_t size)
{
	char text[65] = {};
	memcpy(text, data, size < 64 ? size : 64);
	long long v = strtoll(text, nullptr, 10);
	return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static char path[] = "/tmp/buttond-fuzz-XXXXXX";
	static int made = mkstemp(path);
	if (made < 0)
		abort();
	int fd = open(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
	if (fd < 0 || write(fd, data, size) != ssize_t(size) || close(fd) != 0)
		abort();
	pidFilePath = path;
	if (ReadPidFile() != Reference(data, size))
		abort();
	return 0;
}
