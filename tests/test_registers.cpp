#include <gtest/gtest.h>

#include <string.h>
#include <unistd.h>

#include "board/hwmap.h"
#include "board/registers.h"

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
	std::vector<uint64_t> expect = {0, page, 2 * page};
	if (strcmp(m.device, "/dev/mem") == 0)
		expect = {0xEA000000, 0xE0000000, 0};
	EXPECT_EQ(std::vector<uint64_t>({m.ledPage, m.gpioPage, m.minSize}), expect);
}
