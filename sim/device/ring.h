// A ring between two threads, one that only pushes and one that only
// pops: no lock, no allocation after construction, so the side that must
// never wait (boardsim's responder) shares nothing with the side that does
// I/O but the ring itself.
#ifndef BUTTOND_SIM_RING_H
#define BUTTOND_SIM_RING_H

#include <stddef.h>

#include <atomic>

template <typename T, size_t N>
class Ring {
	static_assert((N & (N - 1)) == 0, "a power of two");

public:
	// False when full: the item is not taken.
	bool Push(const T& item)
	{
		size_t tail = this->tail.load(std::memory_order_relaxed);
		if (tail - head.load(std::memory_order_acquire) == N)
			return false;
		items[tail % N] = item;
		this->tail.store(tail + 1, std::memory_order_release);
		return true;
	}
	// The oldest item, or null when empty; it stays until Pop.
	const T* Peek() const
	{
		size_t head = this->head.load(std::memory_order_relaxed);
		if (tail.load(std::memory_order_acquire) == head)
			return nullptr;
		return &items[head % N];
	}
	void Pop() { head.store(head.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

private:
	T items[N];
	std::atomic<size_t> head{0}, tail{0};
};

#endif
