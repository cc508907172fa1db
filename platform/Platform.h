#pragma once
// The operating-system services one program run uses, handed to the program's core.
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Environment.h"
#include "platform/Files.h"
#include "platform/Processes.h"
#include "platform/Profile.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/SystemLog.h"
#include "platform/Web.h"

namespace zq {
namespace dao {
class IDbEngine;
}

struct Platform {
    IRegistry& registry;
    IProfile& profile;
    IFiles& files;
    IProcesses& processes;
    IClock& clock;
    IEnvironment& env;
    IShell& shell;
    IDialogs& dialogs;
    IWeb* web = nullptr;            // only the update tool
    dao::IDbEngine* db = nullptr;  // only the programs that open databases
    ISystemLog* systemLog = nullptr;  // only the programs that report unattended runs
};

}  // namespace zq
