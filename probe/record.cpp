#include "probe/record.h"

void Lateness::Add(uint64_t us)
{
	size_t bin = us / BIN_US;
	bins[bin < BINS ? bin : BINS - 1]++;
	count++;
	if (us > worstUs)
		worstUs = us;
}

uint64_t Lateness::Percentile(double fraction) const
{
	uint64_t want = uint64_t(fraction * double(count) + 0.999999), seen = 0;
	for (size_t i = 0; i < BINS - 1; i++) {
		seen += bins[i];
		if (seen >= want)
			return (i + 1) * BIN_US;
	}
	return worstUs;
}
