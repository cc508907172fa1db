#pragma once
// Message boxes and the open-file dialog with Qt Widgets. The application object is made on
// the first box, not before.
#include <functional>
#include <optional>
#include <string>

#include "platform/Dialogs.h"

namespace zq::qt {

class QtApp;

class QtDialogs : public IDialogs {
public:
    explicit QtDialogs(QtApp& app) : app_(app) {}
    MsgResult ShowMessage(const std::string& text, const std::string& title, MsgIcon icon,
                         MsgButtons buttons, int defaultButton = 0) override;
    std::optional<std::string> OpenFile(const std::string& title, const std::string& filterName,
                                        const std::string& filterPattern,
                                        const std::string& initialFolder) override;

private:
    QtApp& app_;
};

// The folder the open-file dialog starts in: the given text when it is a folder, otherwise
// its folder part when that is one (callers pass a full file path), otherwise empty.
std::string DialogStartFolder(const std::string& initial,
                              const std::function<bool(const std::string&)>& isFolder);

// Line ends as a message box shows them: CR LF and lone CR become LF.
std::string BoxText(const std::string& text);

}  // namespace zq::qt
