#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "board/button.h"
#include "board/registers.h"
#include "daemon/globals.h"
#include "daemon/pidfile.h"
#include "daemon/startup.h"
#include "sim/world/fake_os.h"

namespace {

int LowestFreeDescriptor()
{
	int fd = dup(0);
	close(fd);
	return fd;
}

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

// libc keeps the identity's pointer and tags every later line with it.
TEST(StartLog, NamesTheProgramBeforeTheFirstLine)
{
	world.Reset();
	StartLog();
	ASSERT_EQ(world.events.size(), 2u);
	const Event &open = world.events[0], &banner = world.events[1];
	EXPECT_EQ(open.kind, Event::OPENLOG);
	EXPECT_EQ(open.text, "unit_tests");
	EXPECT_EQ(world.logIdent, program_invocation_short_name) << "not a copy that could go";
	EXPECT_EQ(open.word, 0u) << "no option: connect at the first line";
	EXPECT_EQ(open.priority, LOG_USER);
	EXPECT_EQ(banner.kind, Event::LOG);
	EXPECT_EQ(banner.priority, LOG_INFO);
	EXPECT_EQ(banner.text, "program starting v1.02");
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
		Stop();
		ASSERT_EQ(system(("rm -rf " + dir).c_str()), 0);
	}
	// A live process of another program, its path /bin/sleep or as given.
	pid_t StartSleeper(const std::string& argv0 = "/bin/sleep")
	{
		if ((sleeper = fork()) == 0) {
			execl("/bin/sleep", argv0.c_str(), "30", (char*)nullptr);
			_exit(127);
		}
		// exec closes the descriptors before it lays out the new command
		// line: only /proc itself tells when the new path shows there.
		std::string cmdline = "/proc/" + std::to_string(sleeper) + "/cmdline";
		for (int i = 0; i < 5000; i++) {
			std::ifstream f(cmdline);
			std::string seen((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
			if (seen.compare(0, argv0.size() + 1, argv0 + '\0') == 0)
				break;
			usleep(1000);
		}
		return sleeper;
	}
	void Stop()
	{
		if (sleeper > 0 && kill(sleeper, SIGKILL) == 0)
			waitpid(sleeper, nullptr, 0);
	}
	void Write(const std::string& text) { std::ofstream(path) << text; }
	std::string Read()
	{
		std::ifstream f(path);
		return {std::istreambuf_iterator<char>(f), {}};
	}
	// The guard, which must leave no descriptor open behind it.
	void Check(const std::string& what)
	{
		int fd = LowestFreeDescriptor();
		CheckPidFile();
		EXPECT_EQ(LowestFreeDescriptor(), fd) << "a descriptor leaked: " << what;
	}
	std::string dir, path;
	pid_t sleeper = 0;
};

TEST_F(PidFile, ReaderTakesTheLeadingNumber)
{
	std::pair<std::string, int32_t> cases[] = {
		{"1234", 1234}, {" \n-17", -17}, {"42abc", 42}, {"", 0}, {"abc", 0},
		{"99999999999", INT32_MAX}, {"-99999999999", INT32_MIN},
		{std::string("77\0 88", 6), 77},
		{std::string(62, ' ') + "123", 12},	// only the first 64 bytes count
		{std::string(70, '9'), INT32_MAX},	// no terminator in those 64
	};
	for (const auto& c : cases) {
		Write(c.first);
		EXPECT_EQ(ReadPidFile(), c.second) << c.first.substr(0, 20);
	}
	unlink(path.c_str());
	EXPECT_EQ(ReadPidFile(), 0);
}

TEST_F(PidFile, RunsAndRecordsItsPidUnlessAnotherCopyRuns)
{
	std::string self = std::to_string(getpid());
	// No file, a stale id, another program's live id, our own id reused
	// after a reboot, garbage, a negative id.
	std::string cases[] = {"", "99999999", std::to_string(StartSleeper()), self, "\x01\xfe", "-1"};
	for (const std::string& c : cases) {
		std::string name = "case " + std::to_string(&c - cases);	// c may be binary
		unlink(path.c_str());
		if (!c.empty())
			Write(c);
		world.Reset();
		Check(name);
		EXPECT_EQ(Read(), self) << name;
		EXPECT_EQ(world.now, 2000000u) << "the guard always sleeps 2 s first";
		ASSERT_EQ(world.events.size(), 1u);
		EXPECT_EQ(world.events[0].text, "Writing pid " + self + " to pidfile '" + path + "'");
		struct stat st = {};
		stat(path.c_str(), &st);
		EXPECT_EQ(st.st_mode & 0777, 0644u) << "0666 less the umask: " << name;
	}
}

// Symlink, FIFO, directory, FIFO held open with an id, no directory: none
// is read, written, followed or blocked on.
TEST_F(PidFile, OddFilesAreLeftAlone)
{
	std::ofstream(dir + "/target") << "keep";
	ASSERT_EQ(symlink((dir + "/target").c_str(), path.c_str()), 0);
	Check("symlink");
	EXPECT_EQ(Read(), "keep") << "write through a symlink";
	for (int kind = 0; kind < 3; kind++) {
		unlink(path.c_str());
		ASSERT_EQ(kind == 1 ? mkdir(path.c_str(), 0700) : mkfifo(path.c_str(), 0600), 0);
		int held = kind == 2 ? open(path.c_str(), O_RDWR) : -1;
		if (held >= 0) {
			ASSERT_EQ(write(held, "4242", 4), 4);
		}
		EXPECT_EQ(ReadPidFile(), 0) << kind;
		Check("kind " + std::to_string(kind));
		close(held);
		rmdir(path.c_str());
	}
	path = dir + "/no-such-dir/buttond.pid";
	pidFilePath = &path[0];
	Check("no directory");
	EXPECT_TRUE(world.events.empty());
}

TEST_F(PidFile, ProcessCheckIsASubstringOfTheOtherPath)
{
	pid_t other = StartSleeper();
	EXPECT_TRUE(IsProcessRunning(other, "/bin/slee"));
	EXPECT_FALSE(IsProcessRunning(other, "30"));	// an argument, not the path
	EXPECT_FALSE(IsProcessRunning(0, "") || IsProcessRunning(-5, ""));
	// Only the first 255 bytes of the command line are searched.
	for (size_t end : {255, 256}) {
		Stop();
		pid_t p = StartSleeper(std::string(end - 7, '/') + "buttond");
		EXPECT_EQ(IsProcessRunning(p, "buttond"), end == 255) << end;
	}
}

TEST_F(PidFile, SecondCopyIsRefused)
{
	std::string pid = std::to_string(StartSleeper());
	Write(pid);
	programName = const_cast<char*>("sleep");
	world.logToStderr = true;
	std::string expect = "^Another sleep process is already running \\(PID " + pid +
			     "\\)\nProcess Exiting.\n\nsyslog 5: Another sleep process is "
			     "already running with PID " + pid + " , exiting\n$";
	EXPECT_EXIT(CheckPidFile(), ::testing::ExitedWithCode(255), expect);
	EXPECT_EQ(Read(), pid);
}

TEST(MapBoard, ImageMustHoldBothPages)
{
	off_t page = getpagesize();
	char path[] = "/tmp/buttond-image-XXXXXX";
	int fd = mkstemp(path);
	HardwareMap map = {path, 0, uint64_t(page), uint64_t(2 * page)};
	// Too short an image, or either mapping failing alone (an offset off
	// the page), and the daemon must stop.
	for (HardwareMap bad : {map, HardwareMap{path, 4, uint64_t(page), 0}, HardwareMap{path, 0, 4, 0}}) {
		ASSERT_EQ(ftruncate(fd, 2 * page - 4), 0);
		world.Reset();
		EXPECT_FALSE(MapBoard(bad));
		EXPECT_EQ(world.events.at(0).text, "Error mapping /dev/mem, exiting");
		EXPECT_EQ(world.events.at(0).priority, 5);
	}
	// A device such as /dev/mem is mapped with no size check.
	EXPECT_TRUE(MapBoard({"/dev/zero", 0, uint64_t(page), 0}));

	ASSERT_EQ(ftruncate(fd, 2 * page), 0);
	world.Reset();
	int held = LowestFreeDescriptor();
	ASSERT_TRUE(MapBoard(map));
	EXPECT_TRUE(world.events.empty());
	EXPECT_TRUE(fcntl(held, F_GETFD) & FD_CLOEXEC) << "actions must not inherit it";
	// The GPIO block at page + 0xC00, button down in word 2, latched in 3.
	uint32_t block[4] = {~0u, ~0u, 0xFFFDFFFF, 0x00020001}, led = 0, event = 0;
	ASSERT_EQ(pwrite(fd, block, 16, page + 0xC00), 16);
	buttonMask = BUTTON_MASK, debugLevel = 0;
	EXPECT_EQ(IsButtonPressed() * 10 + HasButtonBeenPressed(), 11) << "exactly 1 each";
	ClearButtonEvent();	// the mask alone
	*ledRegister = 0xFFFFFFFA;
	EXPECT_TRUE(pread(fd, &led, 4, 0) == 4 && pread(fd, &event, 4, page + 0xC0C) == 4);
	EXPECT_EQ(std::make_pair(led, event), std::make_pair(0xFFFFFFFAu, 0x00020000u));
	close(fd);
	unlink(path);
	world.Reset();
	EXPECT_FALSE(MapBoard(map));
	EXPECT_EQ(world.events.at(0).text, "Error opening /dev/mem, exiting");
}

}  // namespace
