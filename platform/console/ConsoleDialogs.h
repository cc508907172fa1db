#pragma once
// Message boxes and the open-file dialog on a terminal: the box goes to err, the answer is
// one line from in; an empty line or end of input takes the default, so nothing ever hangs.
#include <iosfwd>
#include <optional>
#include <string>

#include "platform/Dialogs.h"

namespace zq::console {

class ConsoleDialogs : public IDialogs {
public:
    ConsoleDialogs(std::istream& in, std::ostream& err);
    MsgResult ShowMessage(const std::string& text, const std::string& title, MsgIcon icon,
                         MsgButtons buttons, int defaultButton = 0) override;
    std::optional<std::string> OpenFile(const std::string& title, const std::string& filterName,
                                        const std::string& filterPattern,
                                        const std::string& initialFolder) override;

private:
    std::istream& in_;
    std::ostream& err_;
};

}  // namespace zq::console
