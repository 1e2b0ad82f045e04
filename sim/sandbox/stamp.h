// Time stamp of the sandbox's records: UTC wall clock, HH:MM:SS.mmm, the
// same in every recorder so their lines merge into one timeline.
#ifndef BUTTOND_SIM_STAMP_H
#define BUTTOND_SIM_STAMP_H

#include <stdio.h>
#include <sys/time.h>
#include <time.h>

#include <string>

inline std::string Stamp()
{
	struct timeval tv;
	gettimeofday(&tv, nullptr);
	struct tm tm;
	gmtime_r(&tv.tv_sec, &tm);
	char buf[32];
	snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03ld", tm.tm_hour, tm.tm_min,
		 tm.tm_sec, long(tv.tv_usec / 1000));
	return buf;
}

#endif
