// A whole board in virtual time for gesture tests: GPIO words, LED word,
// the simulated button playing a script, and the daemon's globals aimed at
// them.
#ifndef BUTTOND_TESTS_BOARD_WORLD_H
#define BUTTOND_TESTS_BOARD_WORLD_H

#include <stdio.h>

#include <string>
#include <vector>

#include "board/button.h"
#include "board/registers.h"
#include "daemon/globals.h"
#include "daemon/startup.h"
#include "select/timer.h"
#include "sim/fake_os.h"
#include "sim/simbutton.h"

constexpr uint64_t MS = 1000;
constexpr uint64_t SEC = 1000 * MS;

// A tap of ms milliseconds starting at the given virtual time.
inline Press Tap(uint64_t atUs, uint64_t ms = 150) { return {atUs, atUs + ms * MS}; }

struct BoardWorld {
	uint32_t gpio[4] = {0, 0, 0xFFFFFFFF, 0};
	uint32_t led = 0xFFFFFFFF;
	Timer timer{TIMER_SECONDS, 5};
	SimButton button;
	ButtonScript script;

	BoardWorld(std::vector<Press> presses, int debug,
		   LatchEdge edge = LatchEdge::Press)
	    : button(gpio, BUTTON_MASK, edge), script(button, std::move(presses))
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

// "seconds.millis kind text" lines; kinds: log<priority>, sh, led<count>
// (the four count LEDs, or the raw word when other bits are lit).
inline std::vector<std::string> Timeline(bool withLeds = false)
{
	std::vector<std::string> out;
	for (const Event& e : world.events) {
		char head[64];
		snprintf(head, sizeof head, "%llu.%03llu ",
			 (unsigned long long)(e.us / SEC),
			 (unsigned long long)(e.us % SEC / MS));
		std::string line = head;
		if (e.kind == Event::LOG) {
			line += "log" + std::to_string(e.priority) + " " + e.text;
		} else if (e.kind == Event::SHELL) {
			line += "sh " + e.text;
		} else {
			if (!withLeds)
				continue;
			char led[32];
			if ((e.word | 0xF) == 0xFFFFFFFF)
				snprintf(led, sizeof led, "led %u", ~e.word & 0xF);
			else
				snprintf(led, sizeof led, "led word %08X", e.word);
			line += led;
		}
		out.push_back(line);
	}
	return out;
}

#endif
