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
	// A latch seen set reads clear a sample period later, the probe having
	// cleared it. Only changes are written, each under its time once.
	uint64_t clearAt = 0, stamp = 0;
	bool latch = false, low = r.startLow;
	auto at = [&](uint64_t us) {
		if (us != stamp)
			fprintf(f, "#%llu\n", (unsigned long long)us);
		stamp = us;
	};
	for (size_t i = 0; i < r.count; i++) {
		const Change& c = r.changes[i];
		if (latch && clearAt <= c.us && !(c.latched && clearAt == c.us)) {
			at(clearAt);
			fputs("0\"\n", f);
			latch = false;
		}
		if (c.low != low) {
			at(c.us);
			fprintf(f, "%d!\n", c.low ? 0 : 1);
			low = c.low;
		}
		if (c.latched && !latch) {
			at(c.us);
			fputs("1\"\n", f);
			latch = true;
		}
		if (c.latched)
			clearAt = c.us + SAMPLE_US;
	}
	if (latch) {
		at(clearAt);
		fputs("0\"\n", f);
	}
	if (r.endUs > stamp)
		at(r.endUs);
	bool ok = !ferror(f);
	return fclose(f) == 0 && ok;
}
