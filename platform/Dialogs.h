#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace zq {

enum class MsgIcon { None, Stop, Exclamation, Information, Question };
enum class MsgButtons { Ok, YesNoCancel, YesNo };
enum class MsgResult { Ok, Yes, No, Cancel };

// A window of the platform's own (a window handle on Windows); 0 is none.
using WindowHandle = std::uintptr_t;

class IDialogs {
public:
    virtual ~IDialogs() = default;
    // The window the boxes and dialogs belong to from now on (modal to it); 0 for none.
    // Only Windows knows owners; elsewhere a dialog is modal to the program as a whole.
    virtual void SetOwner(WindowHandle owner) { (void)owner; }
    // Modal; waits for the answer. defaultButton counts from 0 (the first button).
    virtual MsgResult ShowMessage(const std::string& text, const std::string& title, MsgIcon icon,
                                 MsgButtons buttons, int defaultButton = 0) = 0;
    // Open-file dialog; nothing when cancelled.
    virtual std::optional<std::string> OpenFile(const std::string& title,
                                                const std::string& filterName,
                                                const std::string& filterPattern,
                                                const std::string& initialFolder) = 0;
};

}  // namespace zq
