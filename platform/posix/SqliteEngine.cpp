#include "platform/posix/SqliteEngine.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#ifdef _WIN32
#include <filesystem>
#endif

namespace zq::posix {

using zq::dao::Error;
using zq::dao::RecordsetType;
using zq::dao::Value;

namespace {

// Engine error numbers beyond those the programs compare.
constexpr long kErrNoCurrentRecord = 3021;
constexpr long kErrUpdateWithoutEdit = 3020;
constexpr long kErrDuplicateKey = 3022;
constexpr long kErrReadOnlyObject = 3027;
constexpr long kErrInvalidPath = 3044;
constexpr long kErrNoSuchTable = 3078;
constexpr long kErrSyntax = 3131;
constexpr long kErrTableLocked = 3218;
constexpr long kErrItemNotFound = 3265;
constexpr long kErrObjectClosed = 3420;

const char kSqliteMagic[] = "SQLite format 3";  // 16 bytes with its terminating NUL

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && Lower(a) == Lower(b);
}

std::string Quote(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::string FormatDateTime(const DateTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return buf;
}

bool Digits(const std::string& s, std::size_t pos, std::size_t n, int& out) {
    if (pos + n > s.size()) return false;
    int v = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
        v = v * 10 + (s[i] - '0');
    }
    out = v;
    return true;
}

// "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" (or with "T"); anything else is not a date.
std::optional<DateTime> ParseDateTime(const std::string& s) {
    DateTime t;
    if (s.size() != 10 && s.size() != 19) return std::nullopt;
    if (!Digits(s, 0, 4, t.year) || s[4] != '-' || !Digits(s, 5, 2, t.month) || s[7] != '-' ||
        !Digits(s, 8, 2, t.day))
        return std::nullopt;
    if (s.size() == 19) {
        if ((s[10] != ' ' && s[10] != 'T') || !Digits(s, 11, 2, t.hour) || s[13] != ':' ||
            !Digits(s, 14, 2, t.minute) || s[16] != ':' || !Digits(s, 17, 2, t.second))
            return std::nullopt;
    }
    if (t.year == 0 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 ||
        t.minute > 59 || t.second > 59)
        return std::nullopt;
    return t;
}

bool IsDateType(const char* declType) {
    if (!declType) return false;
    std::string d = Lower(declType);
    return d.find("date") != std::string::npos || d.find("time") != std::string::npos;
}

Error FromSqlite(int rc, sqlite3* db, const std::string& context) {
    std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    std::string text = context.empty() ? msg : context + ": " + msg;
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return {kErrTableLocked, "Could not update; currently locked (" + text + ")."};
    case SQLITE_READONLY:
        return {kErrReadOnlyObject, "Cannot update. Database or object is read-only (" + text + ")."};
    case SQLITE_CONSTRAINT:
        if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY ||
            rc == SQLITE_CONSTRAINT_ROWID)
            return {kErrDuplicateKey, "The changes would create duplicate values (" + text + ")."};
        return {zq::dao::kErrGeneric, text};
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return {zq::dao::kErrUnrecognisedFormat, "Unrecognised database format (" + text + ")."};
    default:
        return {zq::dao::kErrGeneric, text};
    }
}

Value ReadColumn(sqlite3_stmt* stmt, int i, bool dateColumn) {
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
        return static_cast<std::int64_t>(sqlite3_column_int64(stmt, i));
    case SQLITE_FLOAT:
        return sqlite3_column_double(stmt, i);
    case SQLITE_NULL:
        return std::monostate{};
    default: {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
        std::string s(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt, i)));
        if (dateColumn) {
            if (auto t = ParseDateTime(s)) return *t;
        }
        return s;
    }
    }
}

int Bind(sqlite3_stmt* stmt, int index, const Value& v) {
    if (std::holds_alternative<std::int64_t>(v))
        return sqlite3_bind_int64(stmt, index, std::get<std::int64_t>(v));
    if (std::holds_alternative<double>(v)) return sqlite3_bind_double(stmt, index, std::get<double>(v));
    if (std::holds_alternative<std::string>(v)) {
        const auto& s = std::get<std::string>(v);
        return sqlite3_bind_text(stmt, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    }
    if (std::holds_alternative<DateTime>(v) && !std::get<DateTime>(v).IsEmpty()) {
        std::string s = FormatDateTime(std::get<DateTime>(v));
        return sqlite3_bind_text(stmt, index, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    }
    return sqlite3_bind_null(stmt, index);
}

struct StmtDeleter {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtDeleter>;

class SqliteRecordset;

// The connection and the lock file, shared by the database and its recordsets so that a
// recordset that outlives its database fails cleanly instead of touching a closed handle.
struct Connection {
    sqlite3* db = nullptr;
    std::unique_ptr<LockFile> lock;
    bool readOnly = false;
    std::set<SqliteRecordset*> recordsets;

    void Close();
    ~Connection() { Close(); }
};

// "select * from [name]" (or "name", or a bare name) over a whole table, as the callers
// write it; such a recordset counts with count(*) and moves by rowid.
std::optional<std::string> WholeTableName(const std::string& sql) {
    std::string s = Trim(sql);
    if (!s.empty() && s.back() == ';') s = Trim(s.substr(0, s.size() - 1));
    auto word = [&](std::size_t& pos, const char* w) {
        std::size_t n = std::strlen(w);
        if (s.size() < pos + n || Lower(s.substr(pos, n)) != w) return false;
        pos += n;
        return true;
    };
    auto spaces = [&](std::size_t& pos) {
        std::size_t start = pos;
        while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos]))) ++pos;
        return pos > start;
    };
    std::size_t pos = 0;
    if (!word(pos, "select") || !spaces(pos) || !word(pos, "*")) return std::nullopt;
    spaces(pos);
    if (!word(pos, "from") || !spaces(pos)) return std::nullopt;
    std::string name;
    if (pos < s.size() && (s[pos] == '[' || s[pos] == '"' || s[pos] == '`')) {
        char close = s[pos] == '[' ? ']' : s[pos];
        std::size_t end = s.find(close, pos + 1);
        if (end == std::string::npos) return std::nullopt;
        name = s.substr(pos + 1, end - pos - 1);
        pos = end + 1;
    } else {
        std::size_t start = pos;
        while (pos < s.size() &&
               (std::isalnum(static_cast<unsigned char>(s[pos])) || s[pos] == '_'))
            ++pos;
        name = s.substr(start, pos - start);
    }
    if (name.empty() || pos != s.size()) return std::nullopt;
    return name;
}

class SqliteRecordset : public zq::dao::Recordset {
public:
    SqliteRecordset(std::shared_ptr<Connection> conn, RecordsetType type)
        : conn_(std::move(conn)), type_(type) {
        conn_->recordsets.insert(this);
    }
    ~SqliteRecordset() override { Close(); }

    // Prepares the recordset; on failure the error says why.
    Error Open(const std::string& source) {
        sqlite3* db = conn_->db;
        std::optional<std::string> table = WholeTableName(source);
        std::string bare = Trim(source);
        if (!table && !bare.empty() && bare.find_first_of(" \t\r\n") == std::string::npos)
            table = bare;  // a table name on its own
        if (table) {
            if (auto real = RealTableName(*table)) {
                table_ = *real;
                // Tables without rowid are read like any other query.
                Stmt probe;
                std::string sql = "SELECT _rowid_, * FROM " + Quote(table_) + " ORDER BY _rowid_ LIMIT 1";
                sqlite3_stmt* raw = nullptr;
                if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) == SQLITE_OK) {
                    probe.reset(raw);
                    wholeTable_ = true;
                    hasRowid_ = true;
                    editable_ = type_ == RecordsetType::Dynaset && !conn_->readOnly;
                    TakeColumns(probe.get());
                    return FetchWhole("", std::nullopt);
                }
                return OpenQuery("SELECT * FROM " + Quote(table_));
            }
            // A view, or nothing of that name: the query says which.
            if (!WholeTableName(source)) return OpenQuery("SELECT * FROM " + Quote(*table));
        }
        return OpenQuery(source);
    }

    long RecordCount() override {
        if (!Live()) return 0;
        if (wholeTable_) {
            if (!count_) {
                std::string sql = "SELECT count(*) FROM " + Quote(table_);
                sqlite3_stmt* raw = nullptr;
                if (sqlite3_prepare_v2(conn_->db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
                    return 0;
                Stmt s(raw);
                if (sqlite3_step(s.get()) != SQLITE_ROW) return 0;
                count_ = sqlite3_column_int64(s.get(), 0);
            }
            return static_cast<long>(*count_);
        }
        return static_cast<long>(seen_ + added_);
    }

    bool Eof() override { return !Live() || eof_; }
    bool Bof() override { return !Live() || bof_; }

    void MoveFirst() override {
        if (!Live()) return;
        CancelEdit();
        if (wholeTable_) {
            FetchWhole("", std::nullopt);
            return;
        }
        Restart();
        StepGeneric();
    }

    void MoveLast() override {
        if (!Live()) return;
        CancelEdit();
        if (wholeTable_) {
            FetchWhole(" ORDER BY _rowid_ DESC LIMIT 1", std::nullopt);
            return;
        }
        // Walks the rest of the result keeping only the row at hand, so memory stays bounded.
        if (!current_) {
            Restart();
            if (!StepGeneric()) return;
        }
        if (!stmtAfterCurrent_) Reposition();
        for (;;) {
            int rc = sqlite3_step(stmt_.get());
            if (rc != SQLITE_ROW) break;
            ++index_;
            seen_ = std::max(seen_, index_ + 1);
            ReadRow(stmt_.get());
        }
        sqlite3_reset(stmt_.get());
        stmtAfterCurrent_ = false;
        atLast_ = true;
        bof_ = eof_ = false;
    }

    void MoveNext() override {
        if (!Live() || eof_) return;
        CancelEdit();
        if (wholeTable_) {
            if (!current_) {
                FetchWhole("", std::nullopt);
                return;
            }
            FetchWhole(" WHERE _rowid_ > ?1 ORDER BY _rowid_ LIMIT 1", rowid_);
            return;
        }
        if (atLast_ || !current_) {
            current_ = false;
            eof_ = true;
            return;
        }
        if (!stmtAfterCurrent_) Reposition();
        StepGeneric();
    }

    Value Field(const std::string& name, Error* error) override {
        if (error) *error = {};
        if (!Live()) return Fail(error, {kErrObjectClosed, "Object invalid or no longer set."});
        int col = Column(name);
        if (col < 0)
            return Fail(error, {kErrItemNotFound, "Item '" + name + "' not found in this collection."});
        if (mode_ != Mode::None) {
            auto it = buffer_.find(col);
            if (it != buffer_.end()) return it->second;
            if (mode_ == Mode::AddNew) return std::monostate{};
        }
        if (!current_) return Fail(error, {kErrNoCurrentRecord, "No current record."});
        return row_[static_cast<std::size_t>(col)];
    }

    void Edit() override {
        pending_ = {};
        buffer_.clear();
        if (!Live()) pending_ = {kErrObjectClosed, "Object invalid or no longer set."};
        else if (!editable_) pending_ = ReadOnlyError();
        else if (!current_) pending_ = {kErrNoCurrentRecord, "No current record."};
        mode_ = pending_ ? Mode::None : Mode::Edit;
    }

    void AddNew() override {
        pending_ = {};
        buffer_.clear();
        if (!Live()) pending_ = {kErrObjectClosed, "Object invalid or no longer set."};
        else if (!editable_ || table_.empty()) pending_ = ReadOnlyError();
        mode_ = pending_ ? Mode::None : Mode::AddNew;
    }

    Error SetField(const std::string& name, const Value& value) override {
        if (pending_) return pending_;
        if (mode_ == Mode::None)
            return {kErrUpdateWithoutEdit, "Update or CancelUpdate without AddNew or Edit."};
        int col = Column(name);
        if (col < 0) return {kErrItemNotFound, "Item '" + name + "' not found in this collection."};
        buffer_[col] = value;
        return {};
    }

    Error Update() override {
        if (pending_) {
            Error e = pending_;
            pending_ = {};
            return e;
        }
        if (!Live()) return {kErrObjectClosed, "Object invalid or no longer set."};
        if (mode_ == Mode::None)
            return {kErrUpdateWithoutEdit, "Update or CancelUpdate without AddNew or Edit."};
        Mode mode = mode_;
        mode_ = Mode::None;
        // Let go of a query being read and pick it up again behind the current record
        // afterwards, so that the change cannot move rows under the open cursor.
        if (stmt_) {
            sqlite3_reset(stmt_.get());
            stmtAfterCurrent_ = false;
        }
        std::string sql;
        std::vector<std::pair<int, Value>> values(buffer_.begin(), buffer_.end());
        if (mode == Mode::Edit) {
            if (values.empty()) return {};
            sql = "UPDATE " + Quote(table_) + " SET ";
            for (std::size_t i = 0; i < values.size(); ++i)
                sql += (i ? ", " : "") + Quote(sourceNames_[static_cast<std::size_t>(values[i].first)]) + " = ?";
            sql += " WHERE _rowid_ = ?";
        } else if (values.empty()) {
            sql = "INSERT INTO " + Quote(table_) + " DEFAULT VALUES";
        } else {
            sql = "INSERT INTO " + Quote(table_) + " (";
            for (std::size_t i = 0; i < values.size(); ++i)
                sql += (i ? ", " : "") + Quote(sourceNames_[static_cast<std::size_t>(values[i].first)]);
            sql += ") VALUES (";
            for (std::size_t i = 0; i < values.size(); ++i) sql += i ? ", ?" : "?";
            sql += ")";
        }
        sqlite3_stmt* raw = nullptr;
        int rc = sqlite3_prepare_v2(conn_->db, sql.c_str(), -1, &raw, nullptr);
        if (rc != SQLITE_OK) return FromSqlite(rc, conn_->db, "Update of " + table_);
        Stmt s(raw);
        int index = 1;
        for (const auto& [col, v] : values) Bind(s.get(), index++, v);
        if (mode == Mode::Edit) sqlite3_bind_int64(s.get(), index, rowid_);
        rc = sqlite3_step(s.get());
        if (rc != SQLITE_DONE) return FromSqlite(rc, conn_->db, "Update of " + table_);
        if (mode == Mode::Edit) {
            for (const auto& [col, v] : values) {
                Value stored = v;
                if (std::holds_alternative<DateTime>(v) && std::get<DateTime>(v).IsEmpty())
                    stored = std::monostate{};
                row_[static_cast<std::size_t>(col)] = stored;
            }
        } else {
            ++added_;
            count_.reset();
        }
        buffer_.clear();
        return {};
    }

    void Close() override {
        if (!conn_) return;
        stmt_.reset();
        conn_->recordsets.erase(this);
        conn_.reset();
    }

    // The database closes its recordsets first.
    void Detach() {
        stmt_.reset();
        conn_.reset();
    }

private:
    enum class Mode { None, Edit, AddNew };

    bool Live() const { return conn_ && conn_->db; }

    static Value Fail(Error* error, Error e) {
        if (error) *error = std::move(e);
        return std::monostate{};
    }

    Error ReadOnlyError() const {
        return {kErrReadOnlyObject, "Cannot update. Database or object is read-only."};
    }

    void CancelEdit() {
        mode_ = Mode::None;
        buffer_.clear();
        pending_ = {};
    }

    std::optional<std::string> RealTableName(const std::string& name) {
        const char* sql =
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE";
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(conn_->db, sql, -1, &raw, nullptr) != SQLITE_OK) return std::nullopt;
        Stmt s(raw);
        sqlite3_bind_text(s.get(), 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(s.get()) != SQLITE_ROW) return std::nullopt;
        return std::string(reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0)));
    }

    void TakeColumns(sqlite3_stmt* s) {
        names_.clear();
        sourceNames_.clear();
        dateColumns_.clear();
        int first = hasRowid_ ? 1 : 0;
        for (int i = first; i < sqlite3_column_count(s); ++i) {
            const char* n = sqlite3_column_name(s, i);
            const char* origin = sqlite3_column_origin_name(s, i);
            names_.emplace_back(n ? n : "");
            sourceNames_.emplace_back(origin ? origin : (n ? n : ""));
            dateColumns_.push_back(IsDateType(sqlite3_column_decltype(s, i)));
        }
        row_.assign(names_.size(), std::monostate{});
    }

    int Column(const std::string& name) const {
        for (std::size_t i = 0; i < names_.size(); ++i)
            if (EqualNoCase(names_[i], name)) return static_cast<int>(i);
        return -1;
    }

    void ReadRow(sqlite3_stmt* s) {
        int first = hasRowid_ ? 1 : 0;
        if (hasRowid_) rowid_ = sqlite3_column_int64(s, 0);
        for (std::size_t i = 0; i < names_.size(); ++i)
            row_[i] = ReadColumn(s, static_cast<int>(i) + first, dateColumns_[i]);
        current_ = true;
    }

    // One positioned query per move: no read stays open between calls, so an open
    // recordset never keeps other processes from writing.
    Error FetchWhole(const std::string& tail, std::optional<std::int64_t> after) {
        std::string sql = "SELECT _rowid_, * FROM " + Quote(table_) +
                          (tail.empty() ? " ORDER BY _rowid_ LIMIT 1" : tail);
        sqlite3_stmt* raw = nullptr;
        int rc = sqlite3_prepare_v2(conn_->db, sql.c_str(), -1, &raw, nullptr);
        if (rc != SQLITE_OK) return FromSqlite(rc, conn_->db, table_);
        Stmt s(raw);
        if (after) sqlite3_bind_int64(s.get(), 1, *after);
        rc = sqlite3_step(s.get());
        if (rc == SQLITE_ROW) {
            ReadRow(s.get());
            bof_ = eof_ = false;
            return {};
        }
        bool wasCurrent = current_;
        current_ = false;
        if (rc != SQLITE_DONE) {
            bof_ = eof_ = true;
            return FromSqlite(rc, conn_->db, table_);
        }
        if (after && wasCurrent) {
            eof_ = true;  // moved past the last record
        } else {
            bof_ = eof_ = true;  // no records at all
        }
        return {};
    }

    Error OpenQuery(const std::string& source) {
        sqlite3* db = conn_->db;
        sqlite3_stmt* raw = nullptr;
        int rc = SQLITE_ERROR;
        std::string t = Trim(source);
        // An editable query needs the rowid of its one table; ask for it in front of the
        // caller's columns and accept it only when every column comes from that table.
        if (type_ == RecordsetType::Dynaset && t.size() > 6 && Lower(t.substr(0, 6)) == "select" &&
            std::isspace(static_cast<unsigned char>(t[6]))) {
            std::string withRowid = "SELECT _rowid_, " + t.substr(7);
            if (sqlite3_prepare_v2(db, withRowid.c_str(), -1, &raw, nullptr) == SQLITE_OK) {
                std::string table;
                bool single = true;
                for (int i = 1; i < sqlite3_column_count(raw) && single; ++i) {
                    const char* tn = sqlite3_column_table_name(raw, i);
                    const char* on = sqlite3_column_origin_name(raw, i);
                    if (!tn || !on) single = false;
                    else if (i == 1) table = tn;
                    else if (table != tn) single = false;
                }
                if (single && !table.empty()) {
                    stmt_.reset(raw);
                    table_ = table;
                    hasRowid_ = true;
                    editable_ = !conn_->readOnly;
                } else {
                    sqlite3_finalize(raw);
                }
                raw = nullptr;
            } else if (raw) {
                sqlite3_finalize(raw);
                raw = nullptr;
            }
        }
        if (!stmt_) {
            rc = sqlite3_prepare_v2(db, source.c_str(), -1, &raw, nullptr);
            if (rc != SQLITE_OK) {
                std::string msg = sqlite3_errmsg(db);
                if (raw) sqlite3_finalize(raw);
                if (msg.find("no such table") != std::string::npos)
                    return {kErrNoSuchTable, "The engine cannot find the input table or query (" + msg + ")."};
                if ((rc & 0xff) == SQLITE_ERROR)
                    return {kErrSyntax, "Syntax error in the query '" + source + "' (" + msg + ")."};
                return FromSqlite(rc, db, source);
            }
            if (!raw) return {kErrSyntax, "The query '" + source + "' is empty."};
            stmt_.reset(raw);
        }
        TakeColumns(stmt_.get());
        index_ = -1;
        seen_ = 0;
        if (!StepGeneric()) {
            if (queryError_) return queryError_;
            bof_ = eof_ = true;
        }
        return {};
    }

    void Restart() {
        sqlite3_reset(stmt_.get());
        index_ = -1;
        current_ = false;
        atLast_ = false;
        stmtAfterCurrent_ = true;
    }

    // Puts the statement right behind the current record again after it was let go.
    void Reposition() {
        long long target = index_;
        sqlite3_reset(stmt_.get());
        for (long long i = 0; i <= target; ++i) {
            if (sqlite3_step(stmt_.get()) != SQLITE_ROW) break;
        }
        stmtAfterCurrent_ = true;
    }

    // Steps to the next row. False at the end.
    bool StepGeneric() {
        int rc = sqlite3_step(stmt_.get());
        if (rc == SQLITE_ROW) {
            ++index_;
            seen_ = std::max(seen_, index_ + 1);
            ReadRow(stmt_.get());
            bof_ = eof_ = false;
            stmtAfterCurrent_ = true;
            return true;
        }
        if (rc != SQLITE_DONE) queryError_ = FromSqlite(rc, conn_->db, "");
        sqlite3_reset(stmt_.get());
        stmtAfterCurrent_ = false;
        if (index_ < 0) bof_ = true;
        current_ = false;
        eof_ = true;
        atLast_ = false;
        return false;
    }

    std::shared_ptr<Connection> conn_;
    RecordsetType type_;
    std::string table_;
    bool wholeTable_ = false, hasRowid_ = false, editable_ = false;
    std::vector<std::string> names_, sourceNames_;
    std::vector<bool> dateColumns_;
    std::vector<Value> row_;
    std::int64_t rowid_ = 0;
    bool current_ = false, bof_ = true, eof_ = true, atLast_ = false;
    std::optional<std::int64_t> count_;
    long long index_ = -1, seen_ = 0, added_ = 0;
    Stmt stmt_;
    bool stmtAfterCurrent_ = false;
    Error queryError_;
    Mode mode_ = Mode::None;
    std::map<int, Value> buffer_;
    Error pending_;
};

void Connection::Close() {
    for (auto* rs : std::vector<SqliteRecordset*>(recordsets.begin(), recordsets.end())) rs->Detach();
    recordsets.clear();
    if (db) {
        sqlite3_close_v2(db);
        db = nullptr;
    }
    if (lock) {
        lock->Release();
        lock.reset();
    }
}

class SqliteDatabase : public zq::dao::Database {
public:
    explicit SqliteDatabase(std::shared_ptr<Connection> conn) : conn_(std::move(conn)) {}
    ~SqliteDatabase() override { Close(); }

    std::vector<std::string> TableNames() override {
        std::vector<std::string> out;
        if (!conn_ || !conn_->db) return out;
        const char* sql =
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
            "ESCAPE '\\' ORDER BY name COLLATE NOCASE, name";
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(conn_->db, sql, -1, &raw, nullptr) != SQLITE_OK) return out;
        Stmt s(raw);
        while (sqlite3_step(s.get()) == SQLITE_ROW)
            out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0)));
        return out;
    }

    std::unique_ptr<zq::dao::Recordset> OpenRecordset(const std::string& source, RecordsetType type,
                                                      Error& error) override {
        error = {};
        if (!conn_ || !conn_->db) {
            error = {kErrObjectClosed, "Object invalid or no longer set."};
            return nullptr;
        }
        auto rs = std::make_unique<SqliteRecordset>(conn_, type);
        error = rs->Open(source);
        if (error) return nullptr;
        return rs;
    }

    void Close() override {
        if (conn_) conn_->Close();
        conn_.reset();
    }

private:
    std::shared_ptr<Connection> conn_;
};

#ifdef _WIN32
// The Windows build of the stand-ins: paths are UTF-8, which the C library's narrow calls
// do not take.
using StatBuf = struct _stat64;
int StatPath(const std::string& path, StatBuf& st) {
    std::filesystem::path p(std::u8string(path.begin(), path.end()));
    return _wstat64(p.c_str(), &st);
}
#else
using StatBuf = struct stat;
int StatPath(const std::string& path, StatBuf& st) { return stat(path.c_str(), &st); }
#endif

Error OpenFailure(int rc, sqlite3* db, const std::string& path) {
    std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return {zq::dao::kErrLockedExclusive,
                "Could not use '" + path + "'; the file is already in use (" + msg + ")."};
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return {zq::dao::kErrUnrecognisedFormat,
                "Unrecognised database format '" + path + "' (" + msg + ")."};
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return {zq::dao::kErrCannotOpenForWrite,
                "Cannot open or write to the file '" + path + "' (" + msg + ")."};
    default:
        return {zq::dao::kErrGeneric, "Cannot open '" + path + "': " + msg};
    }
}

}  // namespace

std::string SqliteFileName(const std::string& path, bool exclusive, int& flags) {
#ifdef _WIN32
    if (exclusive) {
        std::string p;
        for (char c : path) {
            if (c == '\\') p += '/';
            else if (c == '%') p += "%25";
            else if (c == '?') p += "%3f";
            else if (c == '#') p += "%23";
            else p += c;
        }
        // "C:/x" as file:///C:/x, "//server/share/x" as file:////server/share/x.
        bool drive = p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]));
        flags |= SQLITE_OPEN_URI;
        return (drive ? "file:///" : p.rfind("//", 0) == 0 ? "file://" : "file:") + p + "?exclusive=1";
    }
#endif
    (void)exclusive;
    (void)flags;
    return path;
}

SqliteEngine::SqliteEngine() = default;
SqliteEngine::~SqliteEngine() = default;

std::unique_ptr<zq::dao::Database> SqliteEngine::OpenDatabase(const std::string& path,
                                                             bool exclusive, bool readOnly,
                                                             const std::string& connect,
                                                             Error& error) {
    error = {};
    // The data files carry no password; ";pwd=" and other connect texts are accepted.
    (void)connect;
    if (path.empty()) {
        error = {kErrInvalidPath, "'' is not a valid path."};
        return nullptr;
    }
    StatBuf st{};
    if (StatPath(path, st) != 0) {
        int err = errno;
        if (err == ENOENT || err == ENOTDIR) {
            error = {zq::dao::kErrFileNotFound, "Could not find file '" + path + "'."};
        } else if (err == EACCES || err == EPERM) {
            error = {zq::dao::kErrCannotOpenForWrite,
                     "Cannot open the file '" + path + "': no permission."};
        } else {
            error = {kErrInvalidPath, "'" + path + "' is not a valid path (" + std::strerror(err) + ")."};
        }
        return nullptr;
    }
    if (S_ISDIR(st.st_mode)) {
        error = {kErrInvalidPath, "'" + path + "' is a folder, not a database file."};
        return nullptr;
    }
    if (!S_ISREG(st.st_mode) || st.st_size < 100) {
        // An empty or cut-off file is no database: SQLite would take an empty one as new.
        error = {zq::dao::kErrUnrecognisedFormat,
                 "Unrecognised database format '" + path + "' (no database header)."};
        return nullptr;
    }

    auto conn = std::make_shared<Connection>();
    conn->readOnly = readOnly;
    conn->lock = LockFile::Acquire(path, exclusive, readOnly, error);
    if (!conn->lock) return nullptr;

    int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    const std::string name = SqliteFileName(path, exclusive, flags);
    int rc = sqlite3_open_v2(name.c_str(), &conn->db, flags, nullptr);
    if (rc != SQLITE_OK) {
        error = OpenFailure(rc, conn->db, path);
        conn->Close();
        return nullptr;
    }
    sqlite3_extended_result_codes(conn->db, 1);
    // A writer's short transaction is waited for; a holder that keeps the file is not.
    sqlite3_busy_timeout(conn->db, 250);

    // Check the header through SQLite's own file handle: a second descriptor of our own
    // would drop SQLite's POSIX locks when closed.
    sqlite3_file* file = nullptr;
    char header[100] = {};
    if (sqlite3_file_control(conn->db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
        !file->pMethods || file->pMethods->xRead(file, header, sizeof header, 0) != SQLITE_OK ||
        std::memcmp(header, kSqliteMagic, sizeof kSqliteMagic) != 0) {
        error = {zq::dao::kErrUnrecognisedFormat,
                 "Unrecognised database format '" + path + "'."};
        conn->Close();
        return nullptr;
    }

    // The first real read: shows a file held by another process, a damaged file, or one
    // that cannot be read, here rather than at the first recordset.
    sqlite3_stmt* raw = nullptr;
    rc = sqlite3_prepare_v2(conn->db, "SELECT count(*) FROM sqlite_master", -1, &raw, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(raw);
        if (rc == SQLITE_ROW) rc = SQLITE_OK;
    }
    if (raw) sqlite3_finalize(raw);
    if (rc != SQLITE_OK) {
        error = OpenFailure(rc, conn->db, path);
        conn->Close();
        return nullptr;
    }
    if (!readOnly && sqlite3_db_readonly(conn->db, "main") == 1) {
        error = {zq::dao::kErrCannotOpenForWrite,
                 "Cannot open the file '" + path + "' for writing: it is read-only or you lack permission."};
        conn->Close();
        return nullptr;
    }
    if (exclusive && !readOnly) {
        rc = sqlite3_exec(conn->db, "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT;",
                          nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            error = OpenFailure(rc, conn->db, path);
            conn->Close();
            return nullptr;
        }
    }
    return std::make_unique<SqliteDatabase>(std::move(conn));
}

}  // namespace zq::posix
