#include "daemon/pidfile.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include "daemon/globals.h"
#include "util/os.h"

// A pid has at most 8 digits here; 64 bytes is plenty for any ordinary pid
// file and bounds what a corrupt one costs.
static const size_t PIDFILE_READ_MAX = 64;

// Opening never blocks: a FIFO or device in the pid file's place must not
// stall start-up, and only regular files are trusted.
static int OpenRegular(const char* path, int flags)
{
	int fd = open(path, flags | O_NONBLOCK | O_CLOEXEC, 0666);
	if (fd < 0)
		return -1;
	struct stat st;
	if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
		close(fd);
		return -1;
	}
	return fd;
}

int32_t ReadPidFile() { return ReadPidFileAt(pidFilePath); }

int32_t ReadPidFileAt(const char* path)
{
	int fd = OpenRegular(path, O_RDONLY);
	if (fd < 0)
		return 0;
	char buf[PIDFILE_READ_MAX + 1] = {};
	size_t n = 0;
	while (n < PIDFILE_READ_MAX) {
		ssize_t r = read(fd, buf + n, PIDFILE_READ_MAX - n);
		if (r < 0 && errno == EINTR)
			continue;
		if (r <= 0)
			break;
		n += static_cast<size_t>(r);
	}
	close(fd);
	// strtol's long is 32 bits on the board and 64 on a PC; saturate the
	// same way on both.
	long v = strtol(buf, nullptr, 10);
	if (v > INT32_MAX)
		return INT32_MAX;
	if (v < INT32_MIN)
		return INT32_MIN;
	return static_cast<int32_t>(v);
}

bool IsProcessRunning(int32_t pid, const char* name)
{
	char dir[100] = {};
	char cmdline[108] = {};
	snprintf(dir, sizeof dir - 1, "/proc/%d", pid);
	snprintf(cmdline, sizeof cmdline - 1, "/proc/%d/cmdline", pid);
	if (access(dir, F_OK) != 0)
		return false;
	int fd = open(cmdline, O_RDONLY | O_CLOEXEC);
	if (fd < 0)
		return false;
	char buf[256] = {};
	ssize_t r = read(fd, buf, sizeof buf - 1);
	close(fd);
	if (r < 0)
		return false;
	// Arguments are separated by NULs, so only the process's own path is
	// searched; a copy started from another directory still matches.
	return strstr(buf, name) != nullptr;
}

static void WritePidFile(const char* pidText)
{
	// O_NOFOLLOW: a symlink planted in /var/run must not aim our write.
	int fd = OpenRegular(pidFilePath, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW);
	if (fd < 0)
		return;
	OsSyslog(LOG_NOTICE, "Writing pid %s to pidfile '%s'", pidText, pidFilePath);
	ssize_t r = write(fd, pidText, strlen(pidText));
	(void)r;
	close(fd);
}

void CheckPidFile()
{
	OsSleep(2);
	char pidText[10] = {};
	int32_t self = static_cast<int32_t>(getpid());
	snprintf(pidText, 9, "%d", self);

	if (access(pidFilePath, F_OK) == 0) {
		int32_t old = ReadPidFile();
		// Our own id in the file is a stale file whose id was reused
		// after a reboot, never another instance.
		if (old != self && IsProcessRunning(old, programName)) {
			fprintf(stderr, "Another %s process is already running (PID %d)\n",
				programName, old);
			fprintf(stderr, "Process Exiting.\n\n");
			fflush(stderr);
			OsSyslog(LOG_NOTICE,
				 "Another %s process is already running with PID %d , exiting",
				 programName, old);
			exit(-1);
		}
	}
	WritePidFile(pidText);
}
