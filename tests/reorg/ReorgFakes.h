#pragma once
// The reorganiser's message boxes with scripted answers and a window that records what the
// logic sets, for the tests of single procedures on every platform.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Dialogs.h"
#include "reorg/frmZQR/ReorgView.h"

namespace zqtest {

struct ReorgBox {
    std::string text, title;
    zq::MsgIcon icon;
};

// Every box is answered with its default button.
class DefaultDialogs : public zq::IDialogs {
public:
    zq::MsgResult ShowMessage(const std::string& text, const std::string& title, zq::MsgIcon icon,
                             zq::MsgButtons buttons, int defaultButton) override {
        boxes.push_back({text, title, icon});
        if (buttons == zq::MsgButtons::Ok) return zq::MsgResult::Ok;
        return defaultButton == 0 ? zq::MsgResult::Yes
                                  : defaultButton == 1 ? zq::MsgResult::No : zq::MsgResult::Cancel;
    }
    std::optional<std::string> OpenFile(const std::string&, const std::string&, const std::string&,
                                        const std::string&) override {
        ++fileDialogs;
        return std::nullopt;
    }
    std::vector<ReorgBox> boxes;
    int fileDialogs = 0;
};

class RecordingReorgView : public zq::reorg::IReorgView {
public:
    zq::reorg::Flow Show(zq::reorg::IReorgEvents& events) override {
        if (shown) return zq::reorg::Flow::Go;
        shown = true;
        window = &events;
        return events.OnLoad();
    }
    bool IsShown() const override { return shown; }
    void SetText(zq::reorg::Control c, const std::string& t) override { texts[c] = t; }
    std::string Text(zq::reorg::Control c) const override {
        auto it = texts.find(c);
        return it == texts.end() ? "" : it->second;
    }
    void SetEnabled(zq::reorg::Control c, bool e) override { enabled[c] = e; }
    bool IsEnabled(zq::reorg::Control c) const override {
        auto it = enabled.find(c);
        return it == enabled.end() || it->second;
    }
    void SetVisible(zq::reorg::Control c, bool v) override { visible[c] = v; }
    void SetAlignment(zq::reorg::Control, zq::reorg::Alignment) override {}
    void UseSystemDrawnButton(zq::reorg::Control) override {}
    void SetReadOnly(zq::reorg::Control c, bool r) override { readOnly[c] = r; }
    void ProcessPendingInput() override {
        if (duringWait) duringWait();
    }
    void ShowBusy(const std::string&) override {}
    void Run(zq::reorg::IReorgEvents&) override {}

    bool shown = false;
    std::map<zq::reorg::Control, std::string> texts;
    std::map<zq::reorg::Control, bool> enabled, visible, readOnly;
    zq::reorg::IReorgEvents* window = nullptr;  // where the events go once shown
    std::function<void()> duringWait;           // input that arrives while a wait lets it through
};

}  // namespace zqtest
