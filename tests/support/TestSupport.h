#pragma once
// Helpers shared by the tests: temporary folders, files, and running real programs.
#include <map>
#include <string>
#include <vector>

#include "support/Scenario.h"

namespace zqtest {

// A fresh folder under the system's temporary folder, removed with its content at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);

struct RunResult {
    int exitCode = -1;  // 128 + signal when killed
    std::string out, err;
};

// Runs argv[0] with the arguments (no shell), the given extra environment, standard input
// fed from input, and a time bound after which the program is killed.
RunResult Run(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {},
              const std::string& input = "", int timeoutMs = 60000);

// Waits for a forked child up to timeoutMs; kills it when the time is up. True when it
// exited by itself with code 0.
bool WaitForChildSuccess(int pid, int timeoutMs);

std::string BinDir();     // the build's bin/
std::string SourceDir();  // the source tree

}  // namespace zqtest
