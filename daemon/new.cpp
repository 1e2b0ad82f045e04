// The daemon's own operator new and delete, so it needs no C++ runtime
// library on the board: many firmware images carry libc alone. Its few
// allocations are made once at start-up; running out of memory there
// leaves nothing sensible to do but stop.
#include <stdlib.h>

#include <new>

void* operator new(size_t size)
{
	void* p = malloc(size != 0 ? size : 1);
	if (p == nullptr)
		abort();
	return p;
}

void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }
