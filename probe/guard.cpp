#include "probe/guard.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "daemon/pidfile.h"

// A live process of that name, as the kernel names it from its executable;
// a zombie holds nothing.
static bool Named(int32_t pid, const char* name)
{
	char path[40], stat[128] = {};
	snprintf(path, sizeof path, "/proc/%d/stat", pid);
	int fd = open(path, O_RDONLY | O_CLOEXEC);
	if (fd < 0)
		return false;
	ssize_t r = read(fd, stat, sizeof stat - 1);
	close(fd);
	// "PID (NAME) STATE ...": NAME may hold anything, ")" too.
	char* from = r > 0 ? strchr(stat, '(') : nullptr;
	char* to = from ? strrchr(from, ')') : nullptr;
	if (to == nullptr || to[1] != ' ' || to[2] == 'Z' || to[2] == 'X')
		return false;
	*to = '\0';
	return strcmp(from + 1, name) == 0;
}

// The daemon's own test of its pid file, then every process: a daemon
// started by hand under another pid file, or whose file was removed, is
// at the button all the same.
bool ButtonTaken(char* why, size_t size)
{
	int32_t self = int32_t(getpid());
	const char* path = "/var/run/buttond.pid";
	int32_t pid = ReadPidFileAt(path);
	if (pid > 0 && pid != self && IsProcessRunning(pid, "buttond") && !Named(pid, "buttond-probe")) {
		snprintf(why, size, "buttond is running (pid %d in %s)", pid, path);
		return true;
	}
	DIR* proc = opendir("/proc");
	if (proc == nullptr)
		return false;
	bool taken = false;
	while (struct dirent* e = readdir(proc)) {
		char* end;
		long n = strtol(e->d_name, &end, 10);
		if (*end != '\0' || n <= 0 || n == self)
			continue;
		static const char* const names[] = {"buttond", "buttond-probe"};
		for (const char* name : names) {
			if (!taken && Named(int32_t(n), name)) {
				snprintf(why, size, "%s is running (pid %ld)", name, n);
				taken = true;
			}
		}
	}
	closedir(proc);
	return taken;
}
