#pragma once
// One factory per platform: a program's main builds the adapters of the platform it runs on
// through these functions and never names them. Each platform implements them once
// (posix/, win32/).
#include <memory>
#include <string>

#include "platform/Platform.h"

namespace zq {

// The adapters of one program run.
class PlatformServices {
public:
    virtual ~PlatformServices() = default;
    virtual Platform& Get() = 0;
    // The platform's own boxes: a terminal's on Linux, message boxes on Windows.
    virtual IDialogs& OwnDialogs() = 0;
    // Replaces the dialogs in use (a window toolkit's once it is up); a Platform handed out
    // earlier follows.
    virtual void SetDialogs(IDialogs& dialogs) = 0;
};

std::unique_ptr<PlatformServices> MakePlatformServices();

// The program's command line after its name: as the process received it where the
// platform keeps it whole (Windows), else main's arguments joined by the Windows rules.
std::string ProgramCommandLine(int argc, char** argv);
// As ProgramCommandLine where the platform keeps the line whole; elsewhere the arguments
// joined by single blanks, each taken literally: the shell has removed its own quoting, and
// the reorganiser's switches take the rest of the line as it stands.
std::string LiteralCommandLine(int argc, char** argv);

// Web access over TLS with certificate checks; an empty caFile means the system's store.
// Apart from the services, so a program that never goes online does not load what the web
// access needs.
std::unique_ptr<IWeb> MakeWeb(const std::string& caFile);

}  // namespace zq
