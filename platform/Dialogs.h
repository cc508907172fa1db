#pragma once
#include <optional>
#include <string>

namespace zq {

enum class MsgIcon { None, Stop, Exclamation, Information, Question };
enum class MsgButtons { Ok, YesNoCancel, YesNo };
enum class MsgResult { Ok, Yes, No, Cancel };

class IDialogs {
public:
    virtual ~IDialogs() = default;
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
