#pragma once
// The windows of the platform's own toolkit, where every start of a program uses it (Win32
// on Windows). Elsewhere these give nothing and the program picks its toolkit itself (Qt or
// the console on Linux). Each platform implements them once (posix/, win32/).
#include <memory>

#include "platform/Dialogs.h"

namespace zq {
namespace reorg {
class IReorgView;
}
namespace update {
class IMainView;
}

// The reorganiser's window frmZQR; its message boxes and file dialog belong to it.
std::unique_ptr<reorg::IReorgView> MakeNativeReorgView(IDialogs& dialogs);
// The update tool's window frmMain; its message boxes belong to it.
std::unique_ptr<update::IMainView> MakeNativeMainView(IDialogs& dialogs);

}  // namespace zq
