#pragma once
// The recording window of the update tool's logic; the services it talks to are the shared
// fakes.
#include <deque>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Dialogs.h"
#include "platform/Environment.h"
#include "platform/Shell.h"
#include "platform/Web.h"
#include "support/Fakes.h"
#include "update/frmMain/MainView.h"

namespace zqtest {

class RecordingView : public zq::update::IMainView {
public:
    void SetText(std::string_view control, const std::string& text) override {
        texts[std::string(control)] = text;
    }
    void SetEnabled(std::string_view control, bool enabled) override {
        if (enabled) disabled.erase(std::string(control));
        else disabled.insert(std::string(control));
    }
    void UseStandardButtonStyle(std::string_view control) override {
        standardStyle.insert(std::string(control));
    }
    void Show(zq::update::IMainEvents& e) override {
        window = &e;
        shown = true;
        events.push_back("show");
    }
    void SetBusy(bool busy, const std::string& what) override {
        busyChanges.push_back(busy);
        events.push_back(busy ? "busy " + what : "idle");
    }
    void ProcessPendingEvents() override {
        ++repaints;
        if (duringWait) duringWait();
    }
    void ShowProgress(std::uint64_t done, std::uint64_t total) override {
        progress.emplace_back(done, total);
    }
    void ShowNote(const std::string& text) override {
        notes.push_back(text);
        events.push_back("note " + text);
    }
    void Run(zq::update::IMainEvents& e) override {
        window = &e;
        for (const std::string& c : clicks) {
            if (closed || !e.Deliver({zq::update::MainEvent::Kind::Click, c})) break;
        }
    }
    void Close() override { closed = true; }

    std::string Text(const std::string& control) const {
        const auto it = texts.find(control);
        return it == texts.end() ? "<unset>" : it->second;
    }
    bool Enabled(const std::string& control) const { return disabled.count(control) == 0; }

    std::map<std::string, std::string> texts;
    std::set<std::string> disabled, standardStyle;
    std::vector<bool> busyChanges;
    std::vector<std::string> events;  // show, busy, idle and notes in their order
    bool shown = false;
    int repaints = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    std::vector<std::string> notes;
    std::vector<std::string> clicks;  // delivered by Run
    bool closed = false;
    zq::update::IMainEvents* window = nullptr;  // where the events go once shown
    std::function<void()> duringWait;           // input that arrives while a step lets it through
};

}  // namespace zqtest
