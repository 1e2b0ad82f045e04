#include "sim/device/board_image.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <initializer_list>

#include "board/registers.h"

static size_t Page() { return static_cast<size_t>(getpagesize()); }

// Written under a temporary name and renamed, so a daemon starting at the
// same moment sees either no file or a whole one. words holds the offsets
// of the words that start as all ones (dark LEDs, pins high).
static bool Create(const char* path, size_t size, std::initializer_list<off_t> words,
		   std::string& error)
{
	std::string tmp = std::string(path) + ".new." + std::to_string(getpid());
	int fd = open(tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
	if (fd < 0) {
		error = tmp + ": " + strerror(errno);
		return false;
	}
	bool ok = ftruncate(fd, static_cast<off_t>(size)) == 0;
	const uint32_t ones = 0xFFFFFFFF;
	for (off_t at : words)
		ok = ok && pwrite(fd, &ones, 4, at) == 4;
	ok = ok && close(fd) == 0;
	if (ok && rename(tmp.c_str(), path) == 0)
		return true;
	error = std::string(path) + ": " + strerror(errno);
	unlink(tmp.c_str());
	return false;
}

static const off_t DATA_IN_PAGE = GPIO_BLOCK_OFFSET + 4 * GPIO_DATA;

// Maps size bytes of path; null with the reason in error on failure.
static char* Map(const char* path, size_t size, std::string& error)
{
	int fd = open(path, O_RDWR | O_CLOEXEC);
	if (fd < 0) {
		error = std::string(path) + ": " + strerror(errno);
		return nullptr;
	}
	void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
	close(fd);
	if (p == MAP_FAILED) {
		error = std::string(path) + ": " + strerror(errno);
		return nullptr;
	}
	return static_cast<char*>(p);
}

static bool IsFileOf(const char* path, size_t size, bool exact)
{
	struct stat st;
	return stat(path, &st) == 0 && S_ISREG(st.st_mode) &&
	       (exact ? static_cast<size_t>(st.st_size) == size
		      : static_cast<size_t>(st.st_size) >= size);
}

bool OpenBoardImage(const char* path, BoardImage& image, std::string& error)
{
	size_t page = Page();
	if (access(path, F_OK) != 0 &&
	    !Create(path, 2 * page, {0, static_cast<off_t>(page) + DATA_IN_PAGE}, error))
		return false;
	if (!IsFileOf(path, 2 * page, false)) {
		error = std::string(path) + ": not a board image (needs two pages)";
		return false;
	}
	char* base = Map(path, 2 * page, error);
	if (base == nullptr)
		return false;
	image.led = reinterpret_cast<volatile uint32_t*>(base);
	image.gpio = reinterpret_cast<volatile uint32_t*>(base + page + GPIO_BLOCK_OFFSET);
	return true;
}

// A page file as it must be, or made anew.
static bool PageFile(const char* path, std::initializer_list<off_t> words, std::string& error)
{
	if (IsFileOf(path, Page(), true))
		return true;
	if (unlink(path) != 0 && errno != ENOENT) {
		error = std::string(path) + ": " + strerror(errno);
		return false;
	}
	return Create(path, Page(), words, error);
}

bool OpenBoardPages(const char* ledPath, const char* gpioPath, BoardImage& image,
		    std::string& error)
{
	if (!PageFile(ledPath, {0}, error) || !PageFile(gpioPath, {DATA_IN_PAGE}, error))
		return false;
	char* led = Map(ledPath, Page(), error);
	char* gpio = led ? Map(gpioPath, Page(), error) : nullptr;
	if (gpio == nullptr)
		return false;
	image.led = reinterpret_cast<volatile uint32_t*>(led);
	image.gpio = reinterpret_cast<volatile uint32_t*>(gpio + GPIO_BLOCK_OFFSET);
	return true;
}
