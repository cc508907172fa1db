// The windows of platform/ViewFactory.h on Linux: none of the platform's own; the programs
// choose Qt or the console.
#include "platform/ViewFactory.h"
#include "reorg/frmZQR/ReorgView.h"
#include "update/frmMain/MainView.h"

namespace zq {

std::unique_ptr<reorg::IReorgView> MakeNativeReorgView(IDialogs&) { return nullptr; }

std::unique_ptr<update::IMainView> MakeNativeMainView(IDialogs&) { return nullptr; }

}  // namespace zq
