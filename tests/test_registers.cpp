#include <gtest/gtest.h>

#include <string.h>
#include <unistd.h>

#include "board/button.h"
#include "board/hwmap.h"
#include "board/registers.h"
#include "daemon/globals.h"
#include "sim/world/fake_os.h"

TEST(Registers, WordOperationsHitOneWord)
{
	uint32_t block[5] = {0xA, 0xB, 0xC, 0, 0xE};
	WriteRegister(block, 3, BUTTON_MASK, true);
	EXPECT_EQ(ReadRegister(block, 3), 0x00020000u);
	WriteRegister(block, 3, BUTTON_MASK, false);
	EXPECT_EQ(block[3], 0xFFFDFFFFu);
	SetRegisterBits(block, 3, BUTTON_MASK, true);
	EXPECT_EQ(block[3], 0xFFFFFFFFu);
	SetRegisterBits(block, 3, BUTTON_MASK, false);
	EXPECT_EQ(block[3], 0xFFFDFFFFu);
	EXPECT_EQ(block[2], 0xCu);
	EXPECT_EQ(block[4], 0xEu);
}

// The board's physical pages; on a PC the image's layout instead.
TEST(Registers, BoardMap)
{
	HardwareMap m = BoardMap();
	uint64_t page = uint64_t(getpagesize());
	if (strcmp(m.device, "/dev/mem") == 0)
		EXPECT_EQ(std::vector<uint64_t>({m.ledPage, m.gpioPage, m.minSize}),
			  std::vector<uint64_t>({0xEA000000, 0xE0000000, 0}));
	else
		EXPECT_EQ(std::vector<uint64_t>({m.ledPage, m.gpioPage, m.minSize}),
			  std::vector<uint64_t>({0, page, 2 * page}));
}

TEST(Button, LevelLatchAndDebugLines)
{
	struct Case {
		uint32_t data, event;
		int debug;
		int pressed, latched;
		size_t lines;
	} cases[] = {
		{0xFFFFFFFF, 0x00000000, 2, 0, 0, 0},
		{0xFFFDFFFF, 0x00020001, 1, 1, 1, 0},	// debug 1 stays quiet
		{0xFFFDFFFF, 0x00020001, 2, 1, 1, 3},
		{0x00020000, 0xFFFDFFFF, 3, 0, 0, 0},	// other bits ignored
		{0x00000000, 0x00020000, 0, 1, 1, 0},
	};
	for (const Case& c : cases) {
		world.Reset();
		uint32_t block[4] = {0, 0, c.data, c.event};
		gpioBlock = block;
		buttonMask = BUTTON_MASK;
		debugLevel = c.debug;
		EXPECT_EQ(IsButtonPressed(), c.pressed);
		EXPECT_EQ(HasButtonBeenPressed(), c.latched);
		EXPECT_EQ(HasButtonBeenPressed(), c.latched);	// reading keeps it
		ASSERT_EQ(world.events.size(), c.lines) << c.data;
		if (c.lines) {
			EXPECT_EQ(world.events[0].text, "IsButtonPressed(): true");
			EXPECT_EQ(world.events[1].text, "HasButtonBeenPressed(): true");
			EXPECT_EQ(world.events[2].text, "HasButtonBeenPressed(): true");
			EXPECT_EQ(world.events[1].priority, 5);
		}
		ClearButtonEvent();
		EXPECT_EQ(block[3], BUTTON_MASK);
		EXPECT_EQ(block[2], c.data);
	}
}
