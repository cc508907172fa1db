#pragma once
// Recording stand-ins for the services the update tool's logic talks to: the window, the
// message boxes, the shell, the web and the program's own location.
#include <deque>
#include <fstream>
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
    void SetBusy(bool busy) override { busyChanges.push_back(busy); }
    void ProcessPendingEvents() override { ++repaints; }
    void ShowProgress(std::uint64_t done, std::uint64_t total) override {
        progress.emplace_back(done, total);
    }
    void ShowNote(const std::string& text) override { notes.push_back(text); }
    void Run(const std::function<void(std::string_view control)>& onClick) override {
        for (const std::string& c : clicks) {
            if (closed) break;
            onClick(c);
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
    int repaints = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    std::vector<std::string> notes;
    std::vector<std::string> clicks;  // delivered by Run
    bool closed = false;
};

struct ShownBox {
    std::string text, title;
    zq::MsgIcon icon;
    zq::MsgButtons buttons;
};

class ScriptedDialogs : public zq::IDialogs {
public:
    zq::MsgResult ShowMessage(const std::string& text, const std::string& title, zq::MsgIcon icon,
                             zq::MsgButtons buttons, int) override {
        boxes.push_back({text, title, icon, buttons});
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected message box: " << text;
            return zq::MsgResult::Cancel;
        }
        const zq::MsgResult r = answers.front();
        answers.pop_front();
        return r;
    }
    std::optional<std::string> OpenFile(const std::string&, const std::string&,
                                        const std::string&, const std::string&) override {
        ADD_FAILURE() << "the update tool has no file dialog";
        return std::nullopt;
    }
    std::deque<zq::MsgResult> answers;
    std::vector<ShownBox> boxes;
};

class RecordingShell : public zq::IShell {
public:
    bool Open(const std::string& address) override {
        requests.push_back("open " + address);
        return openSucceeds;
    }
    bool Explore(const std::string& folder) override {
        requests.push_back("explore " + folder);
        return true;
    }
    std::vector<std::string> requests;
    bool openSucceeds = true;
};

// Serves pages and files from memory; a resource that is not there fails like HTTP 404.
class FakeWeb : public zq::IWeb {
public:
    std::optional<std::string> FetchText(const std::string& url, std::size_t maxBytes) override {
        fetched.push_back(url);
        const auto it = resources.find(url);
        if (it == resources.end()) {
            error = "HTTP status 404";
            return std::nullopt;
        }
        if (it->second.size() > maxBytes) {
            error = "the page is larger than " + std::to_string(maxBytes) + " bytes";
            return std::nullopt;
        }
        error.clear();
        return it->second;
    }
    zq::DownloadResult Download(
        const std::string& url, const std::string& target,
        const std::function<void(std::uint64_t, std::uint64_t)>& progress) override {
        downloads.push_back(url + " -> " + target);
        zq::DownloadResult r;
        const auto it = resources.find(url);
        if (it == resources.end()) {
            r.httpStatus = 404;
            r.error = "HTTP status 404";
            return r;
        }
        const std::uint64_t total = it->second.size();
        progress(total / 2, total);
        progress(total, total);
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out << it->second;
        r.ok = static_cast<bool>(out);
        r.httpStatus = 200;
        return r;
    }
    std::string LastError() const override { return error; }

    std::map<std::string, std::string> resources;
    std::vector<std::string> fetched, downloads;
    std::string error;
};

class FakeEnvironment : public zq::IEnvironment {
public:
    explicit FakeEnvironment(std::string programPath) : program(std::move(programPath)) {}
    zq::PathStyle Style() const override { return zq::PathStyle::Posix; }
    std::string ProgramPath() override { return program; }
    std::optional<std::string> Get(const std::string&) override { return std::nullopt; }
    std::string ComputerName() override { return "host"; }
    std::string UserName() override { return "user"; }
    std::string LogonName() override { return "user"; }
    std::string LocalUpdateFolder() override { return "/tmp/zq-unused/"; }
    std::string Error52Folder() override { return "/tmp/error52/"; }
    std::string StreamedOffice16Folder(bool) override { return "/tmp/zq-unused/"; }
    std::string program;
};

}  // namespace zqtest
