#include "probe/vcd.h"

#include <stdio.h>
#include <time.h>

#include "probe/sampler.h"

bool WriteVcd(FILE* f, const Record& r, int64_t wallZeroUs)
{
	time_t secs = time_t(wallZeroUs / 1000000);
	struct tm tm;
	char date[64];
	gmtime_r(&secs, &tm);
	strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", &tm);
	fprintf(f, "$date %s.%06ld UTC $end\n$version buttond-probe $end\n$timescale 1 us $end\n", date,
		long(wallZeroUs % 1000000));
	fprintf(f, "$scope module board $end\n$var wire 1 ! button_n $end\n"
		   "$var wire 1 \" latch $end\n$upscope $end\n$enddefinitions $end\n");
	fprintf(f, "#0\n$dumpvars\n%d!\n0\"\n$end\n", r.startLow ? 0 : 1);
	// A latch seen set reads clear at the next sample, the probe having
	// cleared it.
	uint64_t clearAt = 0;
	bool latch = false;
	for (size_t i = 0; i < r.count; i++) {
		const Change& c = r.changes[i];
		if (latch && clearAt < c.us) {
			fprintf(f, "#%llu\n0\"\n", (unsigned long long)clearAt);
			latch = false;
		}
		fprintf(f, "#%llu\n%d!\n", (unsigned long long)c.us, c.low ? 0 : 1);
		if (c.latched && !latch)
			fprintf(f, "1\"\n");
		if (c.latched) {
			latch = true;
			clearAt = c.us + SAMPLE_US;
		}
	}
	if (latch)
		fprintf(f, "#%llu\n0\"\n", (unsigned long long)clearAt);
	fprintf(f, "#%llu\n", (unsigned long long)(r.endUs > clearAt ? r.endUs : clearAt + 1));
	bool ok = !ferror(f);
	return fclose(f) == 0 && ok;
}
