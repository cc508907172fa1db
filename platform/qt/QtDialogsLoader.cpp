#include "platform/qt/QtDialogsLoader.h"

#include <dlfcn.h>

#include <iostream>

namespace zq::qt {

LoadedQtDialogs::LoadedQtDialogs(std::string programPath, IDialogs& fallback)
    : fallback_(fallback) {
    const auto slash = programPath.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : programPath.substr(0, slash);
    modulePath_ = folder + "/" + kDialogsModuleName;
}

LoadedQtDialogs::~LoadedQtDialogs() {
    if (loaded_ != nullptr && destroy_ != nullptr) destroy_(loaded_);
    // The module stays mapped: the toolkit keeps handlers registered for the process's end.
}

IDialogs& LoadedQtDialogs::Target() {
    if (!tried_) {
        tried_ = true;
        handle_ = ::dlopen(modulePath_.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            const char* why = ::dlerror();
            problem_ = why != nullptr ? why : ("cannot load " + modulePath_);
        } else {
            auto create = reinterpret_cast<IDialogs* (*)(std::string&)>(::dlsym(handle_, "zq_qt_dialogs_create"));
            destroy_ = reinterpret_cast<void (*)(IDialogs*)>(::dlsym(handle_, "zq_qt_dialogs_destroy"));
            if (create == nullptr || destroy_ == nullptr) {
                problem_ = modulePath_ + " lacks its entry points";
            } else {
                std::string why;
                loaded_ = create(why);
                if (loaded_ == nullptr) problem_ = why.empty() ? modulePath_ + " made no dialogs" : why;
            }
        }
        if (!problem_.empty()) {
            std::cerr << "Qt-Dialoge nicht verfügbar (" << problem_ << "), Ausgabe im Terminal.\n";
        }
    }
    return loaded_ != nullptr ? *loaded_ : fallback_;
}

MsgResult LoadedQtDialogs::MessageBox(const std::string& text, const std::string& title,
                                      MsgIcon icon, MsgButtons buttons, int defaultButton) {
    return Target().MessageBox(text, title, icon, buttons, defaultButton);
}

std::optional<std::string> LoadedQtDialogs::OpenFile(const std::string& title,
                                                     const std::string& filterName,
                                                     const std::string& filterPattern,
                                                     const std::string& initialFolder) {
    return Target().OpenFile(title, filterName, filterPattern, initialFolder);
}

}  // namespace zq::qt
