// Records writes to the files the actions leave (the check-in trigger, the
// wireless markers) as "HH:MM:SS.mmm<TAB>PATH" lines: those actions are a
// shell built-in and touch, which no stand-in sees. Creates the record file
// once every watch is in place.
#include <stdio.h>
#include <time.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <map>
#include <string>

#include "sim/sandbox/stamp.h"

static uint64_t NowMs()
{
	struct timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000;
}

int main(int argc, char** argv)
{
	if (argc < 3) {
		fprintf(stderr, "usage: filewatch RECORD-FILE PATH...\n");
		return 2;
	}
	int fd = inotify_init1(IN_CLOEXEC);
	std::map<int, std::string> dirs;
	for (int i = 2; i < argc; i++) {
		std::string path = argv[i], dir = path.substr(0, path.rfind('/'));
		int wd = inotify_add_watch(fd, dir.c_str(), IN_CLOSE_WRITE | IN_ATTRIB);
		if (wd < 0) {
			perror(dir.c_str());
			return 1;
		}
		dirs[wd] = dir;
	}
	FILE* out = fopen(argv[1], "a");
	if (out == nullptr) {
		perror(argv[1]);
		return 1;
	}
	std::map<std::string, uint64_t> seen;	// touch both writes and sets the times
	alignas(struct inotify_event) char buf[4096];
	for (;;) {
		ssize_t n = read(fd, buf, sizeof buf);
		for (ssize_t at = 0; at < n;) {
			auto* e = reinterpret_cast<struct inotify_event*>(buf + at);
			at += ssize_t(sizeof *e + e->len);
			std::string path = dirs[e->wd] + "/" + (e->len ? e->name : "");
			bool wanted = false;
			for (int i = 2; i < argc; i++)
				wanted = wanted || path == argv[i];
			uint64_t now = NowMs();
			if (!wanted || (seen.count(path) && now - seen[path] < 100))
				continue;
			seen[path] = now;
			fprintf(out, "%s\t%s\n", Stamp().c_str(), path.c_str());
			fflush(out);
		}
	}
}
