// The windows of platform/ViewFactory.h on Windows: native Win32 windows.
#include "platform/ViewFactory.h"
#include "platform/win32/WinReorgView.h"
#include "platform/win32/WinUpdateView.h"

namespace zq {

std::unique_ptr<reorg::IReorgView> MakeNativeReorgView(IDialogs& dialogs) {
    return std::make_unique<win32::WinReorgView>(dialogs);
}

std::unique_ptr<update::IMainView> MakeNativeMainView(IDialogs& dialogs) {
    return std::make_unique<win32::WinUpdateView>(dialogs);
}

}  // namespace zq
