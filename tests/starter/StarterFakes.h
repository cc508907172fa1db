#pragma once
// In-memory stand-ins for the platform, so the start program's decisions can be checked
// without touching the machine: files, profile, registry, dialogs, processes, clock, database.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/Dao.h"
#include "common/Trace.h"
#include "platform/Platform.h"

namespace zqtest::starter {

inline std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

class FakeReadFile : public zq::IReadFile {
public:
    explicit FakeReadFile(std::string data) : data_(std::move(data)) {}
    std::uint64_t Size() const override { return data_.size(); }
    std::string ReadAt(std::uint64_t offset, std::size_t size) override {
        if (offset >= data_.size()) return {};
        return data_.substr(static_cast<std::size_t>(offset), size);
    }

private:
    std::string data_;
};

class FakeFiles : public zq::IFiles {
public:
    std::map<std::string, std::string> files;      // path -> content
    std::set<std::string> dirs;                    // folder paths, stored without final separator
    std::set<std::string> hidden;
    std::set<std::string> unexaminable;            // paths that give error 52
    std::set<std::string> remote;                  // folders on a network file system
    std::set<std::string> undeletable;
    std::vector<std::string> created;              // CreateDirectory calls

    static std::string Bare(std::string p) {
        while (p.size() > 1 && (p.back() == '/' || p.back() == '\\')) p.pop_back();
        return p;
    }
    void AddDir(const std::string& p) { dirs.insert(Bare(p)); }

    bool Exists(const std::string& path, std::uint32_t mask, int* error) override {
        if (error) *error = unexaminable.count(path) ? zq::kErrBadFileName : 0;
        if (unexaminable.count(path)) return false;
        if (files.count(path)) return !hidden.count(path) || (mask & zq::kAttrHidden);
        return (mask & zq::kAttrDirectory) && dirs.count(Bare(path));
    }
    bool IsDirectory(const std::string& path, int* error) override {
        bool bad = unexaminable.count(path) > 0;
        if (error) *error = bad ? zq::kErrBadFileName : 0;
        return !bad && dirs.count(Bare(path));
    }
    zq::FsStatus CreateDirectory(const std::string& path) override {
        created.push_back(path);
        dirs.insert(Bare(path));
        return {};
    }
    zq::FsStatus Copy(const std::string& s, const std::string& t, bool) override {
        files[t] = files[s];
        return {};
    }
    zq::FsStatus Move(const std::string& s, const std::string& t) override {
        files[t] = files[s];
        files.erase(s);
        return {};
    }
    zq::FsStatus Remove(const std::string& path) override {
        if (undeletable.count(path)) return {zq::kErrPermission, "in use"};
        if (!files.erase(path)) return {zq::kErrFileNotFound, "not found"};
        return {};
    }
    zq::FsStatus SetAttributes(const std::string&, std::uint32_t) override { return {}; }
    std::optional<std::uint32_t> GetAttributes(const std::string& p) override {
        if (files.count(p)) return zq::kAttrNormal;
        return std::nullopt;
    }
    std::int64_t Size(const std::string& p) override {
        auto it = files.find(p);
        return it == files.end() ? -1 : static_cast<std::int64_t>(it->second.size());
    }
    zq::FileTimes Times(const std::string&) override { return {}; }
    std::vector<zq::DirEntry> List(const std::string&) override { return {}; }
    bool IsRemote(const std::string& path) override {
        for (const auto& r : remote)
            if (path.rfind(r, 0) == 0) return true;
        return false;
    }

    class Text : public zq::ITextFile {
    public:
        Text(std::string& target) : target_(target) {}
        void Write(const std::string& text) override { target_ += text; }
        void Close() override {}

    private:
        std::string& target_;
    };
    std::unique_ptr<zq::ITextFile> OpenText(const std::string& path, bool append) override {
        if (!append) files[path].clear();
        return std::make_unique<Text>(files[path]);
    }
    std::unique_ptr<zq::IReadFile> OpenRead(const std::string& path) override {
        auto it = files.find(path);
        if (it == files.end()) return nullptr;
        return std::make_unique<FakeReadFile>(it->second);
    }
    std::optional<std::string> ReadAll(const std::string& path, std::size_t) override {
        auto it = files.find(path);
        if (it == files.end()) return std::nullopt;
        return it->second;
    }
    zq::FsStatus WriteAtomic(const std::string& path, const std::string& content) override {
        files[path] = content;
        return {};
    }
    std::int64_t FreeSpace(const std::string&) override { return -1; }
};

// Profile values in memory; a written file also appears in FakeFiles so existence tests agree.
class FakeProfile : public zq::IProfile {
public:
    explicit FakeProfile(FakeFiles& files) : files_(files) {}
    std::map<std::string, std::map<std::string, std::map<std::string, std::string>>> data;
    int writes = 0;

    void Set(const std::string& file, const std::string& section, const std::string& key,
             const std::string& value) {
        data[file][Lower(section)][Lower(key)] = value;
        if (!files_.files.count(file)) files_.files[file] = "";
    }
    std::optional<std::string> Value(const std::string& file, const std::string& section,
                                     const std::string& key) const {
        auto f = data.find(file);
        if (f == data.end()) return std::nullopt;
        auto s = f->second.find(Lower(section));
        if (s == f->second.end()) return std::nullopt;
        auto k = s->second.find(Lower(key));
        if (k == s->second.end()) return std::nullopt;
        return k->second;
    }
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& def, std::size_t size, const std::string& file) override {
        std::string v = Value(file, section, key).value_or(def);
        if (size == 0) return "";
        return v.substr(0, size - 1);
    }
    bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file) override {
        ++writes;
        Set(file, section, key, value);
        return true;
    }

private:
    FakeFiles& files_;
};

// Keys by path without regard to case; subkeys in order of creation; every EnumKey counted.
class FakeRegistry : public zq::IRegistry {
public:
    struct Key {
        std::vector<std::string> children;  // names as created
        std::map<std::string, std::pair<std::uint32_t, std::string>> values;  // lower name
    };
    std::map<std::string, Key> keys;  // "hkcu\..." lower-cased
    int enumCalls = 0;
    bool failWrites = false;
    std::uint32_t failEnumAt = 0xFFFFFFFF;  // a damaged store: enumeration breaks off here

    static std::string Id(zq::RegRoot root, const std::string& path) {
        return Lower((root == zq::RegRoot::CurrentUser ? "HKCU\\" : "HKLM\\") + path);
    }
    void MakeKey(zq::RegRoot root, const std::string& path) {
        std::string id = Id(root, path);
        if (keys.count(id)) return;
        auto pos = path.find_last_of('\\');
        if (pos != std::string::npos) {
            MakeKey(root, path.substr(0, pos));
            keys[Id(root, path.substr(0, pos))].children.push_back(path.substr(pos + 1));
        }
        keys[id];
    }
    void SetSz(zq::RegRoot root, const std::string& path, const std::string& name,
               const std::string& value) {
        MakeKey(root, path);
        keys[Id(root, path)].values[Lower(name)] = {zq::kRegSz, value + std::string(1, '\0')};
    }
    void SetDword(zq::RegRoot root, const std::string& path, const std::string& name, std::int32_t v) {
        MakeKey(root, path);
        std::string d(4, '\0');
        for (int i = 0; i < 4; ++i) d[i] = static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
        keys[Id(root, path)].values[Lower(name)] = {zq::kRegDword, d};
    }
    const std::pair<std::uint32_t, std::string>* Get(zq::RegRoot root, const std::string& path,
                                                     const std::string& name) const {
        auto k = keys.find(Id(root, path));
        if (k == keys.end()) return nullptr;
        auto v = k->second.values.find(Lower(name));
        return v == k->second.values.end() ? nullptr : &v->second;
    }
    std::optional<std::string> Sz(zq::RegRoot root, const std::string& path, const std::string& name) const {
        auto v = Get(root, path, name);
        if (!v || v->first != zq::kRegSz) return std::nullopt;
        std::string s = v->second;
        if (!s.empty() && s.back() == '\0') s.pop_back();
        return s;
    }
    std::optional<std::int32_t> Dword(zq::RegRoot root, const std::string& path, const std::string& name) const {
        auto v = Get(root, path, name);
        if (!v || v->first != zq::kRegDword || v->second.size() != 4) return std::nullopt;
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(v->second[i]);
        return static_cast<std::int32_t>(n);
    }

    long OpenKey(zq::RegRoot root, const std::string& path, zq::RegHandle& out) override {
        std::string id = Id(root, path);
        if (!keys.count(id)) return zq::kRegNotFound;
        out = next_++;
        open_[out] = id;
        return zq::kRegSuccess;
    }
    long CreateKey(zq::RegRoot root, const std::string& path, zq::RegHandle& out) override {
        if (failWrites) return zq::kRegFailure;
        MakeKey(root, path);
        return OpenKey(root, path, out);
    }
    long QueryValue(zq::RegHandle key, const std::string& name, std::uint32_t& type,
                    std::string& data) override {
        auto h = open_.find(key);
        if (h == open_.end()) return zq::kRegFailure;
        auto& values = keys[h->second].values;
        auto v = values.find(Lower(name));
        if (v == values.end()) return zq::kRegNotFound;
        type = v->second.first;
        data = v->second.second;
        return zq::kRegSuccess;
    }
    long SetValue(zq::RegHandle key, const std::string& name, std::uint32_t type,
                  const std::string& data) override {
        auto h = open_.find(key);
        if (h == open_.end() || failWrites) return zq::kRegFailure;
        keys[h->second].values[Lower(name)] = {type, data};
        return zq::kRegSuccess;
    }
    long EnumKey(zq::RegHandle key, std::uint32_t index, std::string& name) override {
        ++enumCalls;
        auto h = open_.find(key);
        if (h == open_.end()) return zq::kRegFailure;
        auto& children = keys[h->second].children;
        if (index >= failEnumAt) return zq::kRegFailure;
        if (index >= children.size()) return zq::kRegNoMoreItems;
        name = children[index];
        return zq::kRegSuccess;
    }
    long CloseKey(zq::RegHandle key) override {
        open_.erase(key);
        return zq::kRegSuccess;
    }

private:
    std::map<zq::RegHandle, std::string> open_;
    zq::RegHandle next_ = 1;
};

class ScriptedDialogs : public zq::IDialogs {
public:
    struct Shown {
        std::string text, title;
        zq::MsgIcon icon;
        zq::MsgButtons buttons;
    };
    std::deque<zq::MsgResult> answers;
    std::vector<Shown> shown;

    zq::MsgResult MessageBox(const std::string& text, const std::string& title, zq::MsgIcon icon,
                             zq::MsgButtons buttons, int) override {
        shown.push_back({text, title, icon, buttons});
        if (answers.empty()) return buttons == zq::MsgButtons::Ok ? zq::MsgResult::Ok : zq::MsgResult::Cancel;
        zq::MsgResult r = answers.front();
        answers.pop_front();
        return r;
    }
    std::optional<std::string> OpenFile(const std::string&, const std::string&, const std::string&,
                                        const std::string&) override {
        return std::nullopt;
    }
};

class FakeProcesses : public zq::IProcesses {
public:
    std::vector<std::string> started;
    bool fail = false;
    zq::StartResult Start(const std::string& commandLine, bool) override {
        started.push_back(commandLine);
        zq::StartResult r;
        r.ok = !fail;
        if (fail) r.error = "cannot start";
        return r;
    }
};

class FakeClock : public zq::IClock {
public:
    zq::DateTime now{2026, 12, 7, 8, 5, 9};
    zq::DateTime Now() override { return now; }
    std::string FormatGeneral(const zq::DateTime& t) override {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %02d:%02d:%02d", t.day, t.month, t.year,
                      t.hour, t.minute, t.second);
        return buf;
    }
    std::string FormatOneDecimal(double v) override { return std::to_string(v); }
    void Sleep(int) override {}
    std::int64_t TickMs() override { return 0; }
};

class FakeEnvironment : public zq::IEnvironment {
public:
    zq::PathStyle style = zq::PathStyle::Posix;
    std::string programPath = "/opt/zq/zqm";
    std::string computer = "PC 12";
    std::string user = "anna";
    std::string updateFolder = "/home/anna/.cache/zequora2/update/";
    std::string error52 = "/tmp/error52/";
    std::string streamed = "/nonexistent/Office16/";

    zq::PathStyle Style() const override { return style; }
    std::string ProgramPath() override { return programPath; }
    std::optional<std::string> Get(const std::string&) override { return std::nullopt; }
    std::string ComputerName() override { return computer; }
    std::string UserName() override { return user; }
    std::string LogonName() override { return user; }
    std::string LocalUpdateFolder() override { return updateFolder; }
    std::string Error52Folder() override { return error52; }
    std::string StreamedOffice16Folder(bool) override { return streamed; }
};

class NoShell : public zq::IShell {
public:
    bool Open(const std::string&) override { return false; }
    bool Explore(const std::string&) override { return false; }
};

// A database engine that knows a few front ends by path.
class FakeEngine : public zq::dao::IDbEngine {
public:
    struct FrontEnd {
        std::vector<std::string> tables{"tbl_Intern"};
        std::map<std::string, zq::dao::Value> fields;  // the first record; empty: no record
    };
    std::map<std::string, FrontEnd> frontEnds;
    int opened = 0;

    class Rs : public zq::dao::Recordset {
    public:
        explicit Rs(const FrontEnd& fe) : fe_(fe) {}
        long RecordCount() override { return fe_.fields.empty() ? 0 : 1; }
        bool Eof() override { return fe_.fields.empty(); }
        bool Bof() override { return fe_.fields.empty(); }
        void MoveFirst() override {}
        void MoveLast() override {}
        void MoveNext() override {}
        zq::dao::Value Field(const std::string& name, zq::dao::Error* error) override {
            auto it = fe_.fields.find(name);
            if (it == fe_.fields.end()) {
                if (error) *error = {3265, "Item not found in this collection."};
                return {};
            }
            return it->second;
        }
        void Edit() override {}
        void AddNew() override {}
        zq::dao::Error SetField(const std::string&, const zq::dao::Value&) override { return {}; }
        zq::dao::Error Update() override { return {}; }
        void Close() override {}

    private:
        const FrontEnd& fe_;
    };
    class Db : public zq::dao::Database {
    public:
        explicit Db(const FrontEnd& fe) : fe_(fe) {}
        std::vector<std::string> TableNames() override { return fe_.tables; }
        std::unique_ptr<zq::dao::Recordset> OpenRecordset(const std::string&, zq::dao::RecordsetType,
                                                          zq::dao::Error&) override {
            return std::make_unique<Rs>(fe_);
        }
        void Close() override {}

    private:
        const FrontEnd& fe_;
    };
    std::unique_ptr<zq::dao::Database> OpenDatabase(const std::string& path, bool, bool,
                                                    const std::string&, zq::dao::Error& error) override {
        ++opened;
        auto it = frontEnds.find(path);
        if (it == frontEnds.end()) {
            error = {zq::dao::kErrUnrecognisedFormat, "Unrecognized database format"};
            return nullptr;
        }
        return std::make_unique<Db>(it->second);
    }
};

// A whole fake machine with one Platform over it.
struct FakeMachine {
    FakeFiles files;
    FakeProfile profile{files};
    FakeRegistry registry;
    FakeProcesses processes;
    FakeClock clock;
    FakeEnvironment env;
    NoShell shell;
    ScriptedDialogs dialogs;
    FakeEngine engine;
    zq::Platform platform{registry, profile, files, processes, clock, env, shell, dialogs, nullptr, &engine};
};

}  // namespace zqtest::starter
