// Stand-in for the board's syslog daemon: receives datagrams on a socket
// (the sandbox's /dev/log) and records each as one line,
//   HH:MM:SS.mmm<TAB>facility<TAB>priority<TAB>ident<TAB>text
// decoding the "<PRI>" header and dropping the sender's time stamp.
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

#include "sim/sandbox/stamp.h"

static const char* const FACILITIES[] = {
	"kern", "user", "mail", "daemon", "auth", "syslog", "lpr", "news",
	"uucp", "cron", "authpriv", "ftp", "ntp", "audit", "alert", "clock",
	"local0", "local1", "local2", "local3", "local4", "local5", "local6", "local7",
};

static std::string Record(const char* msg, size_t n)
{
	std::string m(msg, n);
	while (!m.empty() && (m.back() == '\n' || m.back() == '\0'))
		m.pop_back();
	int pri = 13;	// user.notice, as syslogd assumes without a header
	size_t pos = 0;
	if (m.size() > 2 && m[0] == '<') {
		size_t close = m.find('>');
		if (close != std::string::npos && close < 5) {
			pri = atoi(m.c_str() + 1);
			pos = close + 1;
		}
	}
	// "Mmm dd hh:mm:ss " as libc's syslog writes it.
	if (m.size() >= pos + 16 && m[pos + 3] == ' ' && m[pos + 9] == ':' && m[pos + 15] == ' ')
		pos += 16;
	std::string rest = m.substr(pos), ident;
	size_t colon = rest.find(": ");
	if (colon != std::string::npos && rest.find(' ') >= colon) {
		ident = rest.substr(0, colon);
		rest = rest.substr(colon + 2);
	}
	int fac = (pri >> 3) & 0x7F;
	std::string facility = fac < 24 ? FACILITIES[fac] : std::to_string(fac);
	return facility + "\t" + std::to_string(pri & 7) + "\t" + ident + "\t" + rest;
}

int main(int argc, char** argv)
{
	if (argc != 3) {
		fprintf(stderr, "usage: logsink SOCKET RECORD-FILE\n");
		return 2;
	}
	int s = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
	struct sockaddr_un addr = {};
	addr.sun_family = AF_UNIX;
	if (s < 0 || strlen(argv[1]) >= sizeof addr.sun_path) {
		fprintf(stderr, "logsink: cannot make a socket at %s\n", argv[1]);
		return 1;
	}
	strcpy(addr.sun_path, argv[1]);
	unlink(argv[1]);
	if (bind(s, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr) != 0) {
		perror(argv[1]);
		return 1;
	}
	FILE* out = fopen(argv[2], "a");
	if (out == nullptr) {
		perror(argv[2]);
		return 1;
	}
	signal(SIGTERM, SIG_DFL);
	char buf[8192];
	for (;;) {
		ssize_t n = recv(s, buf, sizeof buf, 0);
		if (n <= 0)
			continue;
		fprintf(out, "%s\t%s\n", Stamp().c_str(), Record(buf, size_t(n)).c_str());
		fflush(out);
	}
}
