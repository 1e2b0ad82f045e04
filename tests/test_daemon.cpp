#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "daemon/globals.h"
#include "daemon/pidfile.h"
#include "daemon/startup.h"
#include "sim/world/fake_os.h"

namespace {

TEST(CommandLine, DebugLevelNameAndPidPath)
{
	struct Case {
		std::vector<const char*> argv;
		int debug;
		const char* name;
		const char* pidPath;
	} cases[] = {
		{{"/usr/sbin/buttond"}, 0, "buttond", "/var/run/buttond.pid"},
		{{"buttond", "-d"}, 1, "buttond", "/var/run/buttond.pid"},
		{{"buttond", "-d", "-x", "-D"}, 2, "buttond", "/var/run/buttond.pid"},
		{{"b", "-dd", "xd", "d", "", "-"}, 2, "b", "/var/run/b.pid"},
		{{"./sbin/"}, 0, "./sbin/", "/var/run/./sbin/.pid"},
		{{"xd"}, 0, "xd", "/var/run/xd.pid"},	// argv[0] is no argument
		{{"/"}, 0, "/", "/var/run//.pid"},
		{{""}, 0, "", "/var/run/.pid"},
		{{}, 0, "buttond", "/var/run/buttond.pid"},	// argc 0
	};
	for (Case& c : cases) {
		c.argv.push_back(nullptr);
		ReadCommandLine(int(c.argv.size()) - 1, const_cast<char**>(c.argv.data()));
		EXPECT_EQ(debugLevel, c.debug) << c.name;
		EXPECT_STREQ(programName, c.name);
		EXPECT_STREQ(pidFilePath, c.pidPath);
		delete[] programName;
		delete[] pidFilePath;
	}
}

class PidFile : public ::testing::Test {
protected:
	void SetUp() override
	{
		umask(022);
		char tmpl[] = "/tmp/buttond-test-XXXXXX";
		dir = mkdtemp(tmpl);
		path = dir + "/buttond.pid";
		pidFilePath = &path[0];
		programName = const_cast<char*>("buttond");
		world.Reset();
	}
	void TearDown() override
	{
		if (sleeper > 0) {
			kill(sleeper, SIGKILL);
			waitpid(sleeper, nullptr, 0);
		}
		std::string cmd = "rm -rf " + dir;
		ASSERT_EQ(system(cmd.c_str()), 0);
	}
	// A live process of another program, its path /bin/sleep or as given.
	pid_t StartSleeper(const std::string& argv0 = "/bin/sleep")
	{
		// The pipe closes when exec succeeds, so /proc shows the new path.
		int p[2];
		EXPECT_EQ(pipe2(p, O_CLOEXEC), 0);
		sleeper = fork();
		if (sleeper == 0) {
			execl("/bin/sleep", argv0.c_str(), "30", (char*)nullptr);
			_exit(127);
		}
		close(p[1]);
		char c;
		EXPECT_EQ(read(p[0], &c, 1), 0);
		close(p[0]);
		return sleeper;
	}
	void Write(const std::string& text)
	{
		std::ofstream(path, std::ios::binary) << text;
	}
	std::string Read()
	{
		std::stringstream s;
		s << std::ifstream(path, std::ios::binary).rdbuf();
		return s.str();
	}
	std::string dir, path;
	pid_t sleeper = 0;
};

TEST_F(PidFile, ReaderTakesTheLeadingNumber)
{
	struct Case {
		std::string content;
		int32_t pid;
	} cases[] = {
		{"1234", 1234}, {" \n-17", -17}, {"42abc", 42}, {"", 0}, {"abc", 0},
		{"99999999999", INT32_MAX}, {"-99999999999", INT32_MIN},
		{std::string("77\0 88", 6), 77},
		{std::string(62, ' ') + "123", 12},	// only the first 64 bytes count
		{std::string(70, '9'), INT32_MAX},	// no terminator in those 64
	};
	for (const Case& c : cases) {
		Write(c.content);
		EXPECT_EQ(ReadPidFile(), c.pid) << c.content.substr(0, 20);
	}
	// 100 MB of zeros after the id: only the first bytes are read.
	Write("5678");
	ASSERT_EQ(truncate(path.c_str(), 100 << 20), 0);
	EXPECT_EQ(ReadPidFile(), 5678);
	unlink(path.c_str());
	EXPECT_EQ(ReadPidFile(), 0);
}

TEST_F(PidFile, RunsAndRecordsItsPidUnlessAnotherCopyRuns)
{
	std::string self = std::to_string(getpid());
	pid_t other = StartSleeper();
	struct Case {
		const char* name;
		std::string content;	// "" with missing true: no file
		bool missing;
	} cases[] = {
		{"missing", "", true},
		{"stale", "99999999", false},
		{"another program's live pid", std::to_string(other), false},
		{"own pid, reused after a reboot", self, false},
		{"empty", "", false},
		{"garbage", "\x01\xff\xfe", false},
		{"negative", "-1", false},
	};
	for (const Case& c : cases) {
		unlink(path.c_str());
		if (!c.missing)
			Write(c.content);
		world.Reset();
		int freeFd = dup(0);
		close(freeFd);
		CheckPidFile();
		EXPECT_EQ(dup(0), freeFd) << "a descriptor leaked: " << c.name;
		close(freeFd);
		EXPECT_EQ(Read(), self) << c.name;
		EXPECT_EQ(world.now, 2000000u) << "the guard always sleeps 2 s first";
		ASSERT_EQ(world.events.size(), 1u);
		EXPECT_EQ(world.events[0].text, "Writing pid " + self + " to pidfile '" + path + "'");
		struct stat st;
		ASSERT_EQ(stat(path.c_str(), &st), 0);
		EXPECT_EQ(st.st_mode & 0777, 0644u) << "0666 less the umask: " << c.name;
	}
}

TEST_F(PidFile, OddFilesAreNeverFollowedOrBlockedOn)
{
	std::string target = dir + "/target";
	std::ofstream(target) << "keep";
	ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
	CheckPidFile();
	EXPECT_EQ(Read(), "keep") << "write through a symlink";
	EXPECT_TRUE(world.events.empty());

	// A FIFO nobody holds, a directory, and a FIFO held open with an id in
	// it: none is read or written, none blocks, no descriptor stays open.
	for (int kind = 0; kind < 3; kind++) {
		unlink(path.c_str());
		rmdir(path.c_str());
		ASSERT_EQ(kind == 1 ? mkdir(path.c_str(), 0700) : mkfifo(path.c_str(), 0600), 0);
		int held = kind == 2 ? open(path.c_str(), O_RDWR) : -1;
		if (held >= 0) {
			ASSERT_EQ(write(held, "4242", 4), 4);
		}
		int freeFd = dup(0);
		close(freeFd);
		EXPECT_EQ(ReadPidFile(), 0) << kind;
		CheckPidFile();	// would hang on the FIFO if it blocked
		EXPECT_EQ(dup(0), freeFd) << "a descriptor leaked: " << kind;
		close(freeFd);
		EXPECT_TRUE(world.events.empty()) << kind;
		if (held >= 0)
			close(held);
	}

	std::string gone = dir + "/no-such-dir/buttond.pid";	// no /var/run at all
	pidFilePath = &gone[0];
	CheckPidFile();
	EXPECT_TRUE(world.events.empty());
	pidFilePath = &path[0];
}

TEST_F(PidFile, ProcessCheckIsASubstringOfTheOtherPath)
{
	pid_t other = StartSleeper();
	EXPECT_TRUE(IsProcessRunning(other, "sleep"));
	EXPECT_TRUE(IsProcessRunning(other, "slee"));
	EXPECT_TRUE(IsProcessRunning(other, "/bin/"));
	EXPECT_FALSE(IsProcessRunning(other, "30"));	// an argument, not the path
	EXPECT_FALSE(IsProcessRunning(other, "buttond"));
	EXPECT_FALSE(IsProcessRunning(0, ""));
	EXPECT_FALSE(IsProcessRunning(-5, ""));
	// Only the first 255 bytes of the command line are searched.
	for (size_t end : {255, 256}) {
		kill(sleeper, SIGKILL);
		waitpid(sleeper, nullptr, 0);
		pid_t p = StartSleeper(std::string(end - 7, '/') + "buttond");
		EXPECT_EQ(IsProcessRunning(p, "buttond"), end == 255) << end;
	}
}

TEST_F(PidFile, SecondCopyIsRefused)
{
	pid_t other = StartSleeper();
	Write(std::to_string(other));
	programName = const_cast<char*>("sleep");
	world.logToStderr = true;
	std::string pid = std::to_string(other);
	std::string expect = "^Another sleep process is already running \\(PID " + pid +
			     "\\)\nProcess Exiting.\n\nsyslog 5: Another sleep process is "
			     "already running with PID " + pid + " , exiting\n$";
	EXPECT_EXIT(CheckPidFile(), ::testing::ExitedWithCode(255), expect);
	EXPECT_EQ(Read(), std::to_string(other));
}

// Whether every descriptor on path other than ours is close-on-exec.
bool HeldCloseOnExec(const char* path, int ours)
{
	bool seen = false;
	for (int fd = 0; fd < 1024; fd++) {
		if (fd == ours)
			continue;
		char link[64], target[256] = {};
		snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
		if (readlink(link, target, sizeof target - 1) > 0 && strcmp(target, path) == 0) {
			if (!(fcntl(fd, F_GETFD) & FD_CLOEXEC))
				return false;
			seen = true;
		}
	}
	return seen;
}

TEST(MapBoard, ImageMustHoldBothPages)
{
	long page = getpagesize();
	char path[] = "/tmp/buttond-image-XXXXXX";
	int fd = mkstemp(path);
	ASSERT_GE(fd, 0);
	HardwareMap map = {path, 0, uint64_t(page), uint64_t(2 * page)};
	struct Case {
		off_t size;
		const char* error;
	} cases[] = {
		{2 * page, nullptr},
		{2 * page - 4, "Error mapping /dev/mem, exiting"},
		{0, "Error mapping /dev/mem, exiting"},
	};
	for (const Case& c : cases) {
		ASSERT_EQ(ftruncate(fd, c.size), 0);
		world.Reset();
		bool ok = MapBoard(map);
		EXPECT_EQ(ok, c.error == nullptr);
		if (ok) {
			gpioBlock[3] = 0x00020000;
			*ledRegister = 0xFFFFFFFA;
			uint32_t words[2];
			ASSERT_EQ(pread(fd, &words[0], 4, 0), 4);
			ASSERT_EQ(pread(fd, &words[1], 4, page + 0xC0C), 4);
			EXPECT_EQ(words[0], 0xFFFFFFFAu);
			EXPECT_EQ(words[1], 0x00020000u);
			EXPECT_TRUE(world.events.empty());
			EXPECT_TRUE(HeldCloseOnExec(path, fd)) << "actions must not inherit it";
		} else {
			ASSERT_EQ(world.events.size(), 1u);
			EXPECT_EQ(world.events[0].text, c.error);
			EXPECT_EQ(world.events[0].priority, 5);
		}
	}
	// A device such as /dev/mem is mapped with no size check.
	EXPECT_TRUE(MapBoard({"/dev/zero", 0, uint64_t(page), 0}));
	// Either mapping failing alone (an offset off the page) stops the daemon.
	for (HardwareMap half : {HardwareMap{path, 4, uint64_t(page), 0}, HardwareMap{path, 0, 4, 0}}) {
		world.Reset();
		EXPECT_FALSE(MapBoard(half));
		EXPECT_EQ(world.events.at(0).text, "Error mapping /dev/mem, exiting");
	}
	close(fd);
	unlink(path);
	world.Reset();
	EXPECT_FALSE(MapBoard(map));
	EXPECT_EQ(world.events.at(0).text, "Error opening /dev/mem, exiting");
}

}  // namespace
