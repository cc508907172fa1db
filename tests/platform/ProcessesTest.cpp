// Starting programs: arguments arrive literally (no shell), exit codes come back through the
// handle, detached starts leave no zombie and no inherited lock, PE files need wine.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/posix/PosixProcesses.h"
#include "support/PeFixture.h"
#include "support/TestSupport.h"

namespace {

using zqtest::CrLfLines;
using zqtest::ReadFile;
using zqtest::TempDir;
using zqtest::WriteFile;

std::string Script(const TempDir& dir, const std::string& name, const std::string& body) {
    std::string path = dir / name;
    WriteFile(path, "#!/bin/sh\n" + body + "\n");
    chmod(path.c_str(), 0755);
    return path;
}

// Waits (bounded) until a file has the wanted number of lines.
std::string WaitForFile(const std::string& path, std::size_t minSize) {
    for (int k = 0; k < 500; ++k) {
        std::string s = ReadFile(path);
        if (s.size() >= minSize && s.back() == '\n') return s;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ReadFile(path);
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (old) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (had_) setenv(name_, old_.c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

TEST(PosixProcesses, ArgumentsArriveLiterallyWithoutAShell) {
    TempDir dir;
    std::string out = dir / "args.txt";
    std::string prog = Script(dir, "show", "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$1\"");
    std::string line = "\"" + prog + "\" " + out + " \"a b\" ; rm -rf " + dir.Path() +
                       " $(touch " + dir.Path() + "/pwned) `id` c\\\"d \"\"";
    zq::posix::PosixProcesses processes;
    auto r = processes.Start(line, true);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_TRUE(r.handle);
    ASSERT_TRUE(r.handle->Wait(10000));
    EXPECT_EQ(r.handle->ExitCode(), 0);
    EXPECT_EQ(ReadFile(out), "[" + out + "]\n[a b]\n[;]\n[rm]\n[-rf]\n[" + dir.Path() +
                                 "]\n[$(touch]\n[" + dir.Path() + "/pwned)]\n[`id`]\n[c\"d]\n[]\n");
    EXPECT_FALSE(zqtest::FileExists(dir / "pwned"));
}

TEST(PosixProcesses, ExitCodeAndBoundedWaitThroughTheHandle) {
    TempDir dir;
    zq::posix::PosixProcesses processes;
    auto r = processes.Start("\"" + Script(dir, "seven", "exit 7") + "\"", true);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_TRUE(r.handle->Wait(10000));
    EXPECT_EQ(r.handle->ExitCode(), 7);
    EXPECT_TRUE(r.handle->Wait(0));  // stays ended

    auto slow = processes.Start("/bin/sleep 0.4", true);
    ASSERT_TRUE(slow.ok) << slow.error;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(slow.handle->Wait(30));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_TRUE(slow.handle->Wait(10000));
    EXPECT_EQ(slow.handle->ExitCode(), 0);
}

TEST(PosixProcesses, DetachedStartLeavesNoChildAndRunsInItsOwnSession) {
    TempDir dir;
    std::string out = dir / "sid.txt";
    std::string prog = Script(dir, "sid", "cut -d' ' -f6 /proc/$$/stat > \"$1.tmp\"; mv \"$1.tmp\" \"$1\"");
    zq::posix::PosixProcesses processes;
    auto r = processes.Start("\"" + prog + "\" \"" + out + "\"", false);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_FALSE(r.handle);
    std::string sid = WaitForFile(out, 2);
    ASSERT_FALSE(sid.empty());
    EXPECT_NE(std::stol(sid), static_cast<long>(getsid(0)));
    int status = 0;
    errno = 0;
    EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);  // nothing of ours is left to reap
    EXPECT_EQ(errno, ECHILD);
}

TEST(PosixProcesses, AStartedProgramDoesNotKeepTheParentsLocks) {
    TempDir dir;
    WriteFile(dir / "zqdata.ldb", "");
    int fd = open((dir / "zqdata.ldb").c_str(), O_RDWR);  // deliberately inheritable
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    zq::posix::PosixProcesses processes;
    auto r = processes.Start("/bin/sleep 1", true);
    ASSERT_TRUE(r.ok) << r.error;
    close(fd);
    int other = open((dir / "zqdata.ldb").c_str(), O_RDWR);
    EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    close(other);
    EXPECT_TRUE(r.handle->Wait(10000));
}

TEST(PosixProcesses, MissingProgramsAndWindowsProgramsWithoutWine) {
    TempDir dir;
    zq::posix::PosixProcesses processes;
    auto missing = processes.Start("\"" + dir.Path() + "/nothing.exe\" /x", true);
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.error.find("nothing.exe"), std::string::npos);
    EXPECT_FALSE(processes.Start("", false).ok);
    EXPECT_FALSE(processes.Start("no-such-program-zq", false).ok);

    WriteFile(dir / "data.txt", "not a program");
    chmod((dir / "data.txt").c_str(), 0644);
    EXPECT_FALSE(processes.Start(dir / "data.txt", false).ok);

    WriteFile(dir / "zqmupd.exe", zqtest::MakePeWithoutVersion());
    chmod((dir / "zqmupd.exe").c_str(), 0755);
    {
        ScopedEnv path("PATH", dir / "empty-bin");
        auto r = processes.Start("\"" + dir.Path() + "/zqmupd.exe\" /SILENT", true);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("wine"), std::string::npos) << r.error;
    }
    // With a wine on the PATH the PE file is handed to it, arguments unchanged.
    std::string out = dir / "wine.txt";
    Script(dir, "bin/wine", "printf '%s|' \"$@\" > \"" + out + "\"");
    ScopedEnv path("PATH", dir / "bin");
    auto r = processes.Start("\"" + dir.Path() + "/zqmupd.exe\" /SILENT \"/LOG=a b\"", true);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_TRUE(r.handle->Wait(10000));
    EXPECT_EQ(ReadFile(out), dir.Path() + "/zqmupd.exe|/SILENT|/LOG=a b|");
}

TEST(PosixProcesses, ProgramNamesWithoutExtensionFindTheExeFile) {
    TempDir dir;
    std::string out = dir / "ran.txt";
    Script(dir, "tool.exe", "echo ran > \"" + out + "\"");
    zq::posix::PosixProcesses processes;
    auto r = processes.Start("\"" + dir.Path() + "/tool\"", true);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_TRUE(r.handle->Wait(10000));
    EXPECT_EQ(ReadFile(out), "ran\n");
}

}  // namespace
