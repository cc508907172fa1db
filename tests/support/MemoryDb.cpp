#include "support/MemoryDb.h"

#include <algorithm>
#include <cctype>

namespace zqtest {
namespace {

using zq::dao::Error;
using zq::dao::Value;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

class MemoryRecordset : public zq::dao::Recordset {
public:
    MemoryRecordset(MemoryDb::Table& table, bool none) : table_(table), none_(none) {}
    long RecordCount() override { return static_cast<long>(Count()); }
    bool Eof() override { return at_ >= Count(); }
    bool Bof() override { return Count() == 0; }
    void MoveFirst() override { at_ = 0; }
    void MoveLast() override { at_ = Count() == 0 ? 0 : Count() - 1; }
    void MoveNext() override { ++at_; }
    Value Field(const std::string& name, Error* error) override {
        if (at_ >= Count()) {
            if (error) *error = {3021, "No current record."};
            return {};
        }
        const auto& row = table_.rows[at_];
        const auto it = row.find(name);
        if (it == row.end()) {
            if (error) *error = {3265, "Item not found in this collection."};
            return {};
        }
        return it->second;
    }
    void Edit() override { editing_ = at_ < Count() ? table_.rows[at_] : MemoryDb::Row{}; }
    void AddNew() override {
        editing_.clear();
        adding_ = true;
    }
    Error SetField(const std::string& name, const Value& value) override {
        editing_[name] = value;
        return {};
    }
    Error Update() override {
        if (adding_) {
            table_.rows.push_back(editing_);
        } else if (at_ < Count()) {
            table_.rows[at_] = editing_;
        }
        adding_ = false;
        return {};
    }
    void Close() override {}

private:
    std::size_t Count() const { return none_ ? 0 : table_.rows.size(); }
    MemoryDb::Table& table_;
    bool none_;
    std::size_t at_ = 0;
    MemoryDb::Row editing_;
    bool adding_ = false;
};

class MemoryDatabase : public zq::dao::Database {
public:
    explicit MemoryDatabase(MemoryDb::Tables& tables) : tables_(tables) {}
    std::vector<std::string> TableNames() override {
        std::vector<std::string> names;
        for (const auto& [name, table] : tables_) names.push_back(name);
        return names;
    }
    std::unique_ptr<zq::dao::Recordset> OpenRecordset(const std::string& source, zq::dao::RecordsetType,
                                                      Error& error) override {
        std::string name = source;
        bool none = false;
        const std::string lower = Lower(source);
        if (lower.rfind("select * from ", 0) == 0) {
            name = source.substr(14);
            name = name.substr(0, name.find(' '));
            none = lower.find(" where 1 = 2") != std::string::npos;
        }
        if (name.size() > 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
        const auto it = tables_.find(name);
        if (it == tables_.end()) {
            error = {3078, "The table '" + name + "' cannot be found."};
            return nullptr;
        }
        error = {};
        return std::make_unique<MemoryRecordset>(it->second, none);
    }
    void Close() override {}

private:
    MemoryDb::Tables& tables_;
};

}  // namespace

void MemoryDb::Put(const std::string& path, Tables tables) {
    files_.Put(path, "database");
    databases_[path] = std::move(tables);
}

std::unique_ptr<zq::dao::Database> MemoryDb::OpenDatabase(const std::string& path, bool, bool,
                                                          const std::string&, Error& error) {
    if (!files_.Has(path)) {
        error = {zq::dao::kErrFileNotFound, "Could not find file '" + path + "'."};
        return nullptr;
    }
    const auto it = databases_.find(path);
    if (it == databases_.end() || files_.Content(path) != "database") {
        error = {zq::dao::kErrUnrecognisedFormat, "Unrecognized database format '" + path + "'."};
        return nullptr;
    }
    error = {};
    return std::make_unique<MemoryDatabase>(it->second);
}

}  // namespace zqtest
