#pragma once
// Qt message boxes for a program that normally shows none (zqm): the toolkit lives in a
// module beside the program and is loaded on the first box, so an ordinary start does not
// even load its libraries. When the module cannot be loaded the boxes go to the fallback.
#include <optional>
#include <string>

#include "platform/Dialogs.h"

namespace zq::qt {

inline constexpr const char* kDialogsModuleName = "libzq_qtdialogs.so";

class LoadedQtDialogs : public IDialogs {
public:
    // programPath: the running program's file; the module is looked for in its folder.
    LoadedQtDialogs(std::string programPath, IDialogs& fallback);
    ~LoadedQtDialogs() override;
    LoadedQtDialogs(const LoadedQtDialogs&) = delete;
    LoadedQtDialogs& operator=(const LoadedQtDialogs&) = delete;

    MsgResult MessageBox(const std::string& text, const std::string& title, MsgIcon icon,
                         MsgButtons buttons, int defaultButton = 0) override;
    std::optional<std::string> OpenFile(const std::string& title, const std::string& filterName,
                                        const std::string& filterPattern,
                                        const std::string& initialFolder) override;

    // Why the module is not used; empty while it is (or before the first box).
    const std::string& Problem() const { return problem_; }

private:
    IDialogs& Target();

    std::string modulePath_;
    IDialogs& fallback_;
    void* handle_ = nullptr;
    IDialogs* loaded_ = nullptr;
    void (*destroy_)(IDialogs*) = nullptr;
    bool tried_ = false;
    std::string problem_;
};

}  // namespace zq::qt

// The module's entry points.
extern "C" {
// Null, with the reason in problem, when Qt cannot come up (no display to be reached).
zq::IDialogs* zq_qt_dialogs_create(std::string& problem);
void zq_qt_dialogs_destroy(zq::IDialogs* dialogs);
}
