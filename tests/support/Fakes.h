#pragma once
// In-memory stand-ins for the platform's services, shared by the tests of every program and
// built for Linux and Windows alike: they touch no system service but the FakeWeb's files.
#include <cstdio>
#include <algorithm>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Platform.h"

namespace zqtest {

// A text's lines, split at CR LF (the programs' line ends).
inline std::vector<std::string> TextLines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end == std::string::npos ? text.size() : end + 2;
    }
    return lines;
}

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
        if (files != nullptr) {
            if (!files->WriteAtomic(temp, it->second).ok()) {
                r.error = {zq::WebFailure::Folder, 13, "cannot write"};
                return r;
            }
            if (check && !check(temp)) {
                (void)files->Remove(temp);
                r.error = {zq::WebFailure::Rejected, 0, "refused"};
                return r;
            }
            r.ok = files->Copy(temp, target, true).ok() && files->Remove(temp).ok();
            return r;
        }
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

    zq::IFiles* files = nullptr;  // where downloads go; the real file system when none
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
    std::string ComputerName() override { return computer; }
    std::string UserName() override { return user; }
    std::string LogonName() override { return user; }
    std::string LocalUpdateFolder() override { return localUpdateFolder; }
    std::string Error52Folder() override { return "/tmp/error52/"; }
    std::string StreamedOffice16Folder(bool) override { return "/tmp/zq-unused/"; }
    std::string program;
    std::string computer = "host", user = "user", localUpdateFolder = "/tmp/zq-unused/";
};

// The registry in memory: keys and value names matched without regard to case, subkeys in
// the order they were made.
class MemoryRegistry : public zq::IRegistry {
public:
    long OpenKey(zq::RegRoot root, const std::string& path, zq::RegHandle& out) override {
        const std::string name = Name(root, path);
        if (!keys_.count(name)) return zq::kRegNotFound;
        out = next_++;
        handles_[out] = name;
        return zq::kRegSuccess;
    }
    long CreateKey(zq::RegRoot root, const std::string& path, zq::RegHandle& out) override {
        std::string name = Name(root, "");
        std::size_t from = 0;
        while (from <= path.size()) {
            const std::size_t to = std::min(path.find('\\', from), path.size());
            const std::string part = path.substr(from, to - from);
            if (!part.empty()) {
                const std::string child = name + "\\" + Fold(part);
                if (!keys_.count(child)) {
                    keys_[child];
                    subkeys_[name].push_back(part);
                }
                name = child;
            }
            from = to + 1;
        }
        keys_[name];
        out = next_++;
        handles_[out] = name;
        return zq::kRegSuccess;
    }
    long QueryValue(zq::RegHandle key, const std::string& name, std::uint32_t& type,
                    std::string& data) override {
        const auto h = handles_.find(key);
        if (h == handles_.end()) return zq::kRegFailure;
        const auto& values = keys_[h->second];
        const auto it = values.find(Fold(name));
        if (it == values.end()) return zq::kRegNotFound;
        type = it->second.first;
        data = it->second.second;
        return zq::kRegSuccess;
    }
    long SetValue(zq::RegHandle key, const std::string& name, std::uint32_t type,
                  const std::string& data) override {
        const auto h = handles_.find(key);
        if (h == handles_.end()) return zq::kRegFailure;
        keys_[h->second][Fold(name)] = {type, data};
        return zq::kRegSuccess;
    }
    long EnumKey(zq::RegHandle key, std::uint32_t index, std::string& name) override {
        const auto h = handles_.find(key);
        if (h == handles_.end()) return zq::kRegFailure;
        const auto& names = subkeys_[h->second];
        if (index >= names.size()) return zq::kRegNoMoreItems;
        name = names[index];
        return zq::kRegSuccess;
    }
    long CloseKey(zq::RegHandle key) override {
        return handles_.erase(key) ? zq::kRegSuccess : zq::kRegFailure;
    }

private:
    static std::string Fold(std::string text) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return text;
    }
    static std::string Name(zq::RegRoot root, const std::string& path) {
        std::string name = root == zq::RegRoot::LocalMachine ? "hklm" : "hkcu";
        for (std::size_t from = 0; from <= path.size();) {
            const std::size_t to = std::min(path.find('\\', from), path.size());
            if (to > from) name += "\\" + Fold(path.substr(from, to - from));
            from = to + 1;
        }
        return name;
    }
    std::map<std::string, std::map<std::string, std::pair<std::uint32_t, std::string>>> keys_;
    std::map<std::string, std::vector<std::string>> subkeys_;
    std::map<zq::RegHandle, std::string> handles_;
    zq::RegHandle next_ = 1;
};

// A clock that stands still at one moment; sleeping moves the tick count on.
struct FakeClock : zq::IClock {
    zq::DateTime now{2026, 12, 7, 8, 5, 9};
    std::int64_t ticks = 0;
    zq::DateTime Now() override { return now; }
    std::string FormatGeneral(const zq::DateTime& t) override {
        char text[32];
        std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", t.day, t.month, t.year,
                      t.hour, t.minute, t.second);
        return text;
    }
    std::string FormatOneDecimal(double value) override {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", value);
        return text;
    }
    void Sleep(int milliseconds) override { ticks += milliseconds; }
    std::int64_t TickMs() override { return ticks; }
};

// Started programs, recorded. One started with a handle ends at its first wait, or after
// waitsBeforeEnd waits (never when negative, until it is ended); each wait that does not end
// it passes its time on the clock given.
struct RecordingProcesses : zq::IProcesses {
    std::vector<std::string> started;
    std::vector<zq::WindowStyle> styles;
    bool fail = false;
    FakeClock* clock = nullptr;
    int waitsBeforeEnd = 0;
    int exitCode = 0;
    int terminated = 0;
    std::function<void(const std::string&)> onStart;  // what the program does once it runs

    zq::StartResult Start(const std::string& commandLine, bool keepHandle,
                          zq::WindowStyle style = zq::WindowStyle::NormalFocus) override {
        started.push_back(commandLine);
        styles.push_back(style);
        zq::StartResult r;
        r.ok = !fail;
        if (fail) {
            r.error = "cannot start";
            return r;
        }
        if (onStart) onStart(commandLine);
        if (keepHandle) r.handle = std::make_unique<Handle>(*this);
        return r;
    }

private:
    struct Handle : zq::IProcessHandle {
        explicit Handle(RecordingProcesses& o) : owner(o) {}
        bool Wait(int timeoutMs) override {
            if (ended || (owner.waitsBeforeEnd >= 0 && waits >= owner.waitsBeforeEnd)) return ended = true;
            ++waits;
            if (owner.clock && timeoutMs > 0) owner.clock->ticks += timeoutMs;
            return false;
        }
        int ExitCode() const override { return owner.exitCode; }
        void Terminate() override {
            ended = true;
            ++owner.terminated;
        }
        RecordingProcesses& owner;
        int waits = 0;
        bool ended = false;
    };
};

}  // namespace zqtest
