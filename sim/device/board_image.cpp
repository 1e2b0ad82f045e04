#include "sim/device/board_image.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "board/registers.h"

static size_t Page() { return static_cast<size_t>(getpagesize()); }

// Written under a temporary name and renamed, so a daemon starting at the
// same moment sees either no image or a whole one.
static bool Create(const char* path, std::string& error)
{
	std::string tmp = std::string(path) + ".new." + std::to_string(getpid());
	int fd = open(tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
	if (fd < 0) {
		error = tmp + ": " + strerror(errno);
		return false;
	}
	bool ok = ftruncate(fd, static_cast<off_t>(2 * Page())) == 0;
	const uint32_t dark = 0xFFFFFFFF;
	const uint32_t high = 0xFFFFFFFF;
	off_t data = static_cast<off_t>(Page() + GPIO_BLOCK_OFFSET + 4 * GPIO_DATA);
	ok = ok && pwrite(fd, &dark, 4, 0) == 4 && pwrite(fd, &high, 4, data) == 4;
	ok = ok && close(fd) == 0;
	if (ok && rename(tmp.c_str(), path) == 0)
		return true;
	error = std::string(path) + ": " + strerror(errno);
	unlink(tmp.c_str());
	return false;
}

bool OpenBoardImage(const char* path, BoardImage& image, std::string& error)
{
	if (access(path, F_OK) != 0 && !Create(path, error))
		return false;
	int fd = open(path, O_RDWR | O_CLOEXEC);
	if (fd < 0) {
		error = std::string(path) + ": " + strerror(errno);
		return false;
	}
	struct stat st;
	if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
	    static_cast<size_t>(st.st_size) < 2 * Page()) {
		error = std::string(path) + ": not a board image (needs two pages)";
		close(fd);
		return false;
	}
	void* p = mmap(nullptr, 2 * Page(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
	close(fd);
	if (p == MAP_FAILED) {
		error = std::string(path) + ": " + strerror(errno);
		return false;
	}
	char* base = static_cast<char*>(p);
	image.led = reinterpret_cast<volatile uint32_t*>(base);
	image.gpio = reinterpret_cast<volatile uint32_t*>(base + Page() + GPIO_BLOCK_OFFSET);
	return true;
}
