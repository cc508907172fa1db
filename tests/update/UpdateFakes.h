#pragma once
// Recording stand-ins for the services the update tool's logic talks to: the window, the
// message boxes, the shell, the web and the program's own location.
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
// A download keeps the adapters' contract: the received file is checked at a temporary path
// and replaces the target only when accepted.
class FakeWeb : public zq::IWeb {
public:
    std::optional<std::string> FetchText(const std::string& url, std::size_t maxBytes,
                                         const Progress& progress) override {
        fetched.push_back(url);
        if (onFetch) onFetch();
        if (progress && !progress(0, 0)) {
            error = {zq::WebFailure::Cancelled, 0, "cancelled"};
            return std::nullopt;
        }
        const auto it = resources.find(url);
        if (it == resources.end()) {
            error = {zq::WebFailure::Status, 404, "HTTP status 404"};
            return std::nullopt;
        }
        if (it->second.size() > maxBytes) {
            error = {zq::WebFailure::TooLarge, static_cast<long>(maxBytes), "too large"};
            return std::nullopt;
        }
        error = {};
        return it->second;
    }
    zq::DownloadResult Download(const std::string& url, const std::string& target,
                                const Progress& progress, const Check& check) override {
        downloads.push_back(url + " -> " + target);
        zq::DownloadResult r;
        if (failure.kind != zq::WebFailure::None) {
            r.error = failure;
            return r;
        }
        const auto it = resources.find(url);
        if (it == resources.end()) {
            r.httpStatus = 404;
            r.error = {zq::WebFailure::Status, 404, "HTTP status 404"};
            return r;
        }
        const std::uint64_t total = it->second.size();
        progress(total / 2, total);
        progress(total, total);
        r.httpStatus = 200;
        const std::string temp = target + ".fake-part";
        {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            out << it->second;
            if (!out) {
                r.error = {zq::WebFailure::Folder, 13, "cannot write"};
                return r;
            }
        }
        if (check && !check(temp)) {
            std::remove(temp.c_str());
            r.error = {zq::WebFailure::Rejected, 0, "refused"};
            return r;
        }
        r.ok = std::rename(temp.c_str(), target.c_str()) == 0;
        return r;
    }
    zq::WebError LastError() const override { return error; }
    int RemoveLeftovers(const std::string& target) override {
        leftoverChecks.push_back(target);
        return 0;
    }

    std::map<std::string, std::string> resources;
    std::vector<std::string> fetched, downloads, leftoverChecks;
    zq::WebError error;
    zq::WebError failure;            // every download fails with this when set
    std::function<void()> onFetch;   // runs while a page is fetched
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
