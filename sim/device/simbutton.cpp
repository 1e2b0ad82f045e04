#include "sim/device/simbutton.h"

#include <utility>

#include "board/registers.h"

SimButton::SimButton(volatile uint32_t* gpio, uint32_t mask, LatchEdge edge, bool bigEndian)
    : data(gpio + GPIO_DATA), event(gpio + GPIO_EVENT), mask(mask), edge(edge),
      swap(bigEndian && __BYTE_ORDER__ != __ORDER_BIG_ENDIAN__)
{
	__atomic_fetch_or(data, Word(mask), __ATOMIC_SEQ_CST);	// starts up
	// The block's set-up as a board's start-up leaves it: an input, its
	// interrupt masked, the edge control saying falling only where only
	// the press edge latches (this block cannot say release only or none).
	__atomic_fetch_and(gpio + GPIO_DIRECTION, ~Word(mask), __ATOMIC_SEQ_CST);
	__atomic_fetch_and(gpio + GPIO_INT_MASK, ~Word(mask), __ATOMIC_SEQ_CST);
	if (edge == LatchEdge::Press)
		__atomic_fetch_or(gpio + GPIO_EDGE_CONTROL, Word(mask), __ATOMIC_SEQ_CST);
	else
		__atomic_fetch_and(gpio + GPIO_EDGE_CONTROL, ~Word(mask), __ATOMIC_SEQ_CST);
}

// A value as it is stored in the image.
uint32_t SimButton::Word(uint32_t v) const { return swap ? __builtin_bswap32(v) : v; }

void SimButton::SetDown(bool d)
{
	if (d == down)
		return;
	down = d;
	// Active-low input; only the button's bit moves.
	if (down)
		__atomic_fetch_and(data, ~Word(mask), __ATOMIC_SEQ_CST);
	else
		__atomic_fetch_or(data, Word(mask), __ATOMIC_SEQ_CST);
	bool latch = edge == LatchEdge::Both ||
		     (edge == LatchEdge::Press && down) ||
		     (edge == LatchEdge::Release && !down);
	if (latch)
		__atomic_store_n(event, Word(mask | 1), __ATOMIC_SEQ_CST);
}

bool SimButton::Service()
{
	uint32_t expected = Word(mask);
	return __atomic_compare_exchange_n(event, &expected, 0, false,
					   __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
}

bool SimButton::IsLatched() const
{
	return (__atomic_load_n(event, __ATOMIC_SEQ_CST) & Word(mask)) != 0;
}

bool SimButton::IsPinLow() const
{
	return (__atomic_load_n(data, __ATOMIC_SEQ_CST) & Word(mask)) == 0;
}

ButtonScript::ButtonScript(SimButton& button, std::vector<Press> presses, uint64_t seed)
    : button(button), contact(button, seed), presses(std::move(presses))
{
}

void ButtonScript::Advance(uint64_t, uint64_t to)
{
	// A clear written before this interval is answered first; edges inside
	// the interval come after it and so latch again.
	button.Service();
	while (next < presses.size()) {
		const Press& p = presses[next];
		uint64_t at = down ? p.upUs : p.downUs;
		if (at > to)
			break;
		while (contact.PlayNext(at)) {
		}
		contact.Move(!down, at, down ? p.upBounceUs : p.downBounceUs);
		next += down;
		down = !down;
	}
	while (contact.PlayNext(to)) {
	}
}
