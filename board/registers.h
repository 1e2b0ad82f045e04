// Word access to the board's memory-mapped registers and where they live.
//
// The PowerPC reads and writes these as native 32-bit words; no byte
// swapping, and every access must reach the device exactly once and in
// program order: volatile keeps the compiler's order, eieio (below) the
// processor's.
#ifndef BUTTOND_BOARD_REGISTERS_H
#define BUTTOND_BOARD_REGISTERS_H

#include <stdint.h>
#include <sys/types.h>

// Physical pages, as /dev/mem file offsets. Both lie above 2^31, so off_t
// must be 64 bits on the 32-bit target or mmap would see negative offsets.
constexpr uint64_t LED_PAGE = 0xEA000000;
constexpr uint64_t GPIO_PAGE = 0xE0000000;
constexpr uint32_t GPIO_BLOCK_OFFSET = 0xC00;	// GPIO controller inside its page

// Word indices inside the GPIO block.
constexpr int32_t GPIO_DIRECTION = 0;	// 1: the block drives the pin
constexpr int32_t GPIO_DATA = 2;	// pin levels, the button reads 0 while down
constexpr int32_t GPIO_EVENT = 3;	// event latch, write 1 to clear
constexpr int32_t GPIO_INT_MASK = 4;	// 1: the pin's event raises an interrupt
constexpr int32_t GPIO_EDGE_CONTROL = 5;	// 1: only the falling edge latches, 0: both

constexpr uint32_t BUTTON_MASK = 0x00020000;

static_assert(sizeof(off_t) == 8, "build with _FILE_OFFSET_BITS=64");

// The kernel maps /dev/mem above RAM cache-inhibited and guarded. There the
// PowerPC performs loads in program order and stores in program order, but
// may perform a load before an earlier store: a read of the pin could pass
// the write that clears the latch. eieio orders accesses to such storage,
// which is all the device needs; sync would also wait on cacheable memory,
// which the device never shares with us. (Book E cores decode it as mbar 0.)
// The LED word, written directly, needs none: its stores stay in order, its
// only read is of the word just written, and nothing on the GPIO block
// waits on it.
#if defined(__powerpc__)
#define BUTTOND_IO_BARRIER() __asm__ __volatile__("eieio" : : : "memory")
#else
#define BUTTOND_IO_BARRIER() ((void)0)
#endif

inline uint32_t In32(const volatile uint32_t* addr)
{
	return *addr;
}

// Every write to the GPIO block is done before any access after it.
inline void Out32(volatile uint32_t* addr, uint32_t value)
{
	*addr = value;
	BUTTOND_IO_BARRIER();
}

inline uint32_t ReadRegister(volatile uint32_t* block, int32_t index)
{
	return In32(block + index);
}

inline void WriteRegister(volatile uint32_t* block, int32_t index,
			  uint32_t value, bool direct)
{
	Out32(block + index, direct ? value : ~value);
}

inline void SetRegisterBits(volatile uint32_t* block, int32_t index,
			    uint32_t mask, bool set)
{
	uint32_t v = In32(block + index);
	Out32(block + index, set ? (v | mask) : (v & ~mask));
}

// Test builds only: the virtual world may move the button's contact before
// any access to the GPIO block, as the hardware does not wait for a sleep.
#ifdef BUTTOND_REGISTER_HOOK
void BeforeRegisterAccess(int32_t index, bool write);
#define ReadRegister(block, index) (BeforeRegisterAccess(index, false), ReadRegister(block, index))
#define WriteRegister(block, index, value, direct) \
	(BeforeRegisterAccess(index, true), WriteRegister(block, index, value, direct))
#endif

#endif
