#pragma once
// Message boxes (MessageBoxW) and the open-file dialog (GetOpenFileNameW), owned by the
// window set as owner.
#include <windows.h>
#include <commdlg.h>

#include <string>
#include <vector>

#include "platform/Dialogs.h"

namespace zq::win32 {

// The MessageBoxW style for an icon, a button set and a default button (counted from 0).
unsigned MessageBoxStyle(MsgIcon icon, MsgButtons buttons, int defaultButton);
// The answer for MessageBoxW's result. A box that could not be shown (0; -1 under Wine
// without a display) counts as closed without an answer: Cancel where the box has it, else
// its default button.
MsgResult MessageBoxAnswer(int result, MsgButtons buttons, int defaultButton);

// Everything GetOpenFileNameW is given for one open-file dialog: the filter as description
// and pattern, the default extension of a "*.ext" pattern, the initial folder (a file's path
// gives its folder: the dialog starts in folders only), the options "file must exist", "path
// must exist" and "no read-only check box".
class OpenFileSetup {
public:
    OpenFileSetup(HWND owner, const std::string& title, const std::string& filterName,
                  const std::string& filterPattern, const std::string& initialFolder);
    OpenFileSetup(const OpenFileSetup&) = delete;
    OpenFileSetup& operator=(const OpenFileSetup&) = delete;
    OPENFILENAMEW& Get() { return ofn_; }
    // The chosen path, once the dialog has given one.
    std::string Chosen() const;

private:
    std::wstring filter_, title_, folder_, extension_;
    std::vector<wchar_t> file_;
    OPENFILENAMEW ofn_{};
};

class WinDialogs : public IDialogs {
public:
    void SetOwner(WindowHandle owner) override { owner_ = owner; }
    MsgResult ShowMessage(const std::string& text, const std::string& title, MsgIcon icon,
                          MsgButtons buttons, int defaultButton = 0) override;
    std::optional<std::string> OpenFile(const std::string& title, const std::string& filterName,
                                        const std::string& filterPattern,
                                        const std::string& initialFolder) override;

private:
    WindowHandle owner_ = 0;
};

}  // namespace zq::win32
