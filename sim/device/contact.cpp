#include "sim/device/contact.h"

#include "sim/device/simbutton.h"

static const uint64_t TOGGLE_MIN_US = 200;
static const uint64_t TOGGLE_MAX_US = 2000;

Contact::Contact(SimButton& pin, uint64_t seed) : pin(pin), state(seed) {}

// splitmix64: tiny, and the same sequence on every host and library.
uint64_t Contact::Random()
{
	uint64_t z = (state += 0x9E3779B97F4A7C15ull);
	z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
	z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
	return z ^ (z >> 31);
}

void Contact::Move(bool down, uint64_t atUs, uint64_t bounceUs)
{
	if (down == finger)
		return;
	finger = down;
	first = count = 0;
	uint64_t end = atUs + bounceUs, t = atUs;
	bool level = down;
	pending[count++] = {t, level};
	while (count < MAX_TOGGLES - 1) {
		uint64_t gap = TOGGLE_MIN_US + Random() % (TOGGLE_MAX_US - TOGGLE_MIN_US + 1);
		if (t + gap > end)
			break;
		t += gap;
		level = !level;
		pending[count++] = {t, level};
	}
	// Settle where the finger went, still within the bounce time.
	if (level != down) {
		if (end - t >= TOGGLE_MIN_US)
			pending[count++] = {end, down};
		else
			count--;
	}
}

bool Contact::PlayNext(uint64_t nowUs)
{
	if (first == count || pending[first].atUs > nowUs)
		return false;
	pin.SetDown(pending[first++].down);
	return true;
}

uint64_t Contact::NextUs() const { return first == count ? UINT64_MAX : pending[first].atUs; }
