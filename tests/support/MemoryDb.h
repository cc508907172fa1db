#pragma once
// Databases in memory, one a file of MemoryFiles: a file that exists but holds no database
// is "not a database of this format", a missing one "not found", as the engine says. Tables
// are rows of named values; a recordset reads a table, "select * from <table>" (the name
// bracketed or not) and, with "where 1 = 2", none of its rows.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/Dao.h"
#include "support/MemoryFiles.h"

namespace zqtest {

class MemoryDb : public zq::dao::IDbEngine {
public:
    using Row = std::map<std::string, zq::dao::Value>;
    struct Table {
        std::vector<Row> rows;
    };
    using Tables = std::map<std::string, Table>;

    explicit MemoryDb(MemoryFiles& files) : files_(files) {}
    // Makes path a database with the tables (its file is written too).
    void Put(const std::string& path, Tables tables);
    Tables& At(const std::string& path) { return databases_[path]; }

    std::unique_ptr<zq::dao::Database> OpenDatabase(const std::string& path, bool exclusive, bool readOnly,
                                                    const std::string& connect,
                                                    zq::dao::Error& error) override;

private:
    MemoryFiles& files_;
    std::map<std::string, Tables> databases_;
};

}  // namespace zqtest
