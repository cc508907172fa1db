#include "platform/posix/PosixProcesses.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace zq::posix {

namespace {

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool HasExtension(const std::string& path) {
    auto slash = path.find_last_of('/');
    auto dot = path.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

std::string ProgramFolder() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    std::string path(buf, static_cast<std::size_t>(n));
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The name as given, then with ".exe" when it has no extension (as Windows adds it).
std::string TryCandidates(const std::string& path) {
    if (IsRegularFile(path)) return path;
    if (!HasExtension(path) && IsRegularFile(path + ".exe")) return path + ".exe";
    return {};
}

std::vector<std::string> PathFolders() {
    std::vector<std::string> folders;
    const char* env = std::getenv("PATH");
    std::string list = env ? env : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= list.size()) {
        auto end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        std::string folder = list.substr(start, end - start);
        folders.push_back(folder.empty() ? "." : folder);
        start = end + 1;
    }
    return folders;
}

// A name with a folder is taken as it is; a bare name is looked for in the program's own
// folder and then along PATH, as Windows would (the current folder is left out: a file
// planted there must not be started in place of the system's program).
std::string ResolveProgram(const std::string& name) {
    if (name.empty()) return {};
    if (name.find('/') != std::string::npos) return TryCandidates(name);
    std::vector<std::string> folders;
    std::string own = ProgramFolder();
    if (!own.empty()) folders.push_back(own);
    for (auto& f : PathFolders()) folders.push_back(f);
    for (const auto& folder : folders) {
        std::string found = TryCandidates(folder + "/" + name);
        if (!found.empty()) return found;
    }
    return {};
}

std::string FindOnPath(const std::string& name) {
    for (const auto& folder : PathFolders()) {
        std::string candidate = folder + "/" + name;
        if (IsRegularFile(candidate) && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

bool StartsWithMz(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    char head[2] = {0, 0};
    ssize_t n = ::read(fd, head, 2);
    ::close(fd);
    return n == 2 && head[0] == 'M' && head[1] == 'Z';
}

int ExitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

class PosixProcessHandle : public IProcessHandle {
public:
    explicit PosixProcessHandle(pid_t pid) : pid_(pid) {}
    ~PosixProcessHandle() override {
        if (!ended_) Poll();
    }
    bool Wait(int timeoutMs) override {
        if (ended_) return true;
        if (timeoutMs < 0) {
            int status = 0;
            while (::waitpid(pid_, &status, 0) < 0) {
                if (errno != EINTR) {
                    Finish(-1);
                    return true;
                }
            }
            Finish(ExitCodeOf(status));
            return true;
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        int pause = 1;
        for (;;) {
            if (Poll()) return true;
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(pause));
            pause = std::min(pause * 2, 20);
        }
    }
    int ExitCode() const override { return code_; }
    void Terminate() override {
        if (ended_) return;
        // The child leads a session of its own: its whole group goes, helpers included.
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
        (void)Wait(5000);
    }

private:
    bool Poll() {
        int status = 0;
        pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            Finish(ExitCodeOf(status));
        } else if (r < 0 && errno != EINTR) {
            Finish(-1);  // not our child any more: nothing to wait for
        }
        return ended_;
    }
    void Finish(int code) {
        ended_ = true;
        code_ = code;
    }

    pid_t pid_;
    bool ended_ = false;
    int code_ = -1;
};

// Everything the child needs is prepared before fork: between fork and exec only
// async-signal-safe calls are made.
struct ExecPlan {
    std::string program;
    std::vector<std::string> args;
    std::vector<char*> argv;
    void Seal() {
        argv.clear();
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
    }
};

[[noreturn]] void ExecChild(const ExecPlan& plan, int devNull, int errPipe) {
    ::setsid();
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    ::signal(SIGCHLD, SIG_DFL);
    if (devNull >= 0) ::dup2(devNull, 0);
    // Locks a parent holds (flock on data and lock files) must not live on in the child.
    if (errPipe > 3) ::close_range(3, static_cast<unsigned>(errPipe - 1), 0);
    ::close_range(static_cast<unsigned>(errPipe + 1), ~0U, 0);
    ::execv(plan.program.c_str(), plan.argv.data());
    int err = errno;
    ssize_t n = ::write(errPipe, &err, sizeof err);
    (void)n;
    ::_exit(127);
}

}  // namespace

StartResult StartArguments(const std::vector<std::string>& argv, bool keepHandle) {
    StartResult result;
    if (argv.empty() || argv[0].empty()) {
        result.error = "No program given";
        return result;
    }
    std::string program = ResolveProgram(argv[0]);
    if (program.empty()) {
        result.error = "Program not found: " + argv[0];
        return result;
    }

    ExecPlan plan;
    if (StartsWithMz(program)) {
        std::string wine = FindOnPath("wine");
        if (wine.empty()) {
            result.error = "Windows program cannot be started, wine is not installed: " + program;
            return result;
        }
        plan.program = wine;
        plan.args.push_back("wine");
        plan.args.push_back(program);
    } else {
        if (::access(program.c_str(), X_OK) != 0) {
            result.error = "Program is not executable: " + program;
            return result;
        }
        plan.program = program;
        plan.args.push_back(argv[0]);
    }
    for (std::size_t k = 1; k < argv.size(); ++k) plan.args.push_back(argv[k]);
    plan.Seal();

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        result.error = std::string("Cannot start ") + program + ": " + std::strerror(errno);
        return result;
    }
    int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        if (keepHandle) ExecChild(plan, devNull, pipeFds[1]);
        // Without a handle: an intermediate child starts the program and ends at once, so
        // the program is adopted by init and never stays a zombie of ours.
        pid_t grandChild = ::fork();
        if (grandChild == 0) ExecChild(plan, devNull, pipeFds[1]);
        if (grandChild < 0) {
            int err = errno;
            ssize_t n = ::write(pipeFds[1], &err, sizeof err);
            (void)n;
        }
        ::_exit(0);
    }
    int forkErr = errno;
    ::close(pipeFds[1]);
    if (devNull >= 0) ::close(devNull);
    if (pid < 0) {
        ::close(pipeFds[0]);
        result.error = std::string("Cannot start ") + program + ": " + std::strerror(forkErr);
        return result;
    }
    if (!keepHandle) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }

    // The pipe closes on a successful exec; otherwise the child sends errno.
    int childErr = 0;
    ssize_t got;
    do {
        got = ::read(pipeFds[0], &childErr, sizeof childErr);
    } while (got < 0 && errno == EINTR);
    ::close(pipeFds[0]);
    if (got == static_cast<ssize_t>(sizeof childErr)) {
        if (keepHandle) {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
        result.error = std::string("Cannot start ") + program + ": " + std::strerror(childErr);
        return result;
    }
    result.ok = true;
    if (keepHandle) result.handle = std::make_unique<PosixProcessHandle>(pid);
    return result;
}

StartResult PosixProcesses::Start(const std::string& commandLine, bool keepHandle, WindowStyle) {
    return StartArguments(SplitCommandLine(commandLine), keepHandle);
}

}  // namespace zq::posix
