// buttond: turns gestures on the board's push-button into maintenance
// actions. Start-up order matters: the banner is logged before the guard,
// and the hardware is mapped only once this copy is known to be the one.
#include <stdlib.h>
#include <unistd.h>

#include "board/button.h"
#include "board/registers.h"
#include "daemon/globals.h"
#include "daemon/pidfile.h"
#include "daemon/startup.h"
#include "select/timer.h"

// The executable's own operator new and delete, so it needs no C++ runtime
// library on the board: many firmware images carry libc alone. The tests
// and sanitizers keep theirs. The few allocations are made once at
// start-up; running out of memory there leaves nothing to do but stop.
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

int main(int argc, char** argv)
{
	buttonMask = BUTTON_MASK;
	selectTimer = new Timer(TIMER_SECONDS, 5);
	ReadCommandLine(argc, argv);

	// Keep the directory and the standard streams: a refused second copy
	// must still reach the terminal that started it. On failure we simply
	// carry on in this process.
	if (daemon(1, 1) != 0) {
	}
	StartLog();
	setsid();

	CheckPidFile();
	if (!MapBoard(BoardMap()))
		exit(1);
	ClearButtonEvent();

	for (;;)
		MainLoopIteration();
}
