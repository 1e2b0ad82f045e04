// A whole board in virtual time: GPIO words, LED word, the simulated button
// playing a script, and the daemon's globals aimed at them, so whole
// gestures and weeks of polling run in milliseconds.
#ifndef BUTTOND_SIM_VIRTUAL_BOARD_H
#define BUTTOND_SIM_VIRTUAL_BOARD_H

#include <string>
#include <vector>

#include "board/button.h"
#include "board/registers.h"
#include "daemon/globals.h"
#include "daemon/startup.h"
#include "select/timer.h"
#include "sim/world/fake_os.h"
#include "sim/device/simbutton.h"

constexpr uint64_t MS = 1000;
constexpr uint64_t SEC = 1000 * MS;

// A tap of ms milliseconds starting at the given virtual time.
inline Press Tap(uint64_t atUs, uint64_t ms = 150) { return {atUs, atUs + ms * MS}; }

struct BoardWorld {
	uint32_t gpio[6] = {0, 0, 0xFFFFFFFF, 0, 0, 0};	// the block up to its edge control
	uint32_t led = 0xFFFFFFFF;
	Timer timer{TIMER_SECONDS, 1};	// selection mode sets its own window
	SimButton button;
	ButtonScript script;

	BoardWorld(std::vector<Press> presses, int debug,
		   LatchEdge edge = LatchEdge::Press, uint64_t seed = 1)
	    : button(gpio, BUTTON_MASK, edge), script(button, std::move(presses), seed)
	{
		world.Reset();
		world.led = &led;
		world.afterSleep = [this](uint64_t from, uint64_t to) {
			script.Advance(from, to);
		};
		gpioBlock = gpio;
		ledRegister = &led;
		buttonMask = BUTTON_MASK;
		debugLevel = debug;
		selectTimer = &timer;
		ClearButtonEvent();	// as start-up leaves it
	}
	~BoardWorld() { world.Reset(); }

	void RunUntil(uint64_t us)
	{
		while (world.now < us)
			MainLoopIteration();
	}
};

#endif
