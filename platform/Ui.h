#pragma once
// The window toolkit of one program run, chosen in one place per platform: the platform's own
// windows where it has them (Win32), else Qt when a display can be reached, else the console.
// The Ui owns the application object, the windows and the message boxes it puts in use, so a
// program's main only makes it after the services and asks it for its window.
#include <memory>

#include "platform/PlatformFactory.h"

namespace zq {
namespace reorg {
class IReorgView;
}
namespace update {
class IMainView;
}

class IUi {
public:
    virtual ~IUi() = default;
    // The reorganiser's window frmZQR; its message boxes and file dialog become the dialogs
    // in use. Made on the first call; the toolkit comes up only when it is shown.
    virtual reorg::IReorgView& ReorgWindow() = 0;
    // The update tool's window frmMain, likewise.
    virtual update::IMainView& UpdateWindow() = 0;
};

// Until a window is asked for, message boxes are the toolkit's where it would be used,
// brought up only for the first box (the Manager start program normally shows none).
// Destroy the Ui before the services.
std::unique_ptr<IUi> MakeUi(int& argc, char** argv, PlatformServices& services);

}  // namespace zq
