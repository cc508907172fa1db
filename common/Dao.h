#pragma once
// Data access in the style of DAO: the engine contract the programs rely on (open a
// database, list tables, recordsets, navigation and editing, error numbers).
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/Clock.h"

namespace zq::dao {

inline constexpr long kErrLockedExclusive = 3045;     // held exclusively by another process
inline constexpr long kErrCannotOpenForWrite = 3051;  // read-only file or folder, no permission
inline constexpr long kErrUnrecognisedFormat = 3343;  // not a database of this format
inline constexpr long kErrFileNotFound = 3024;
inline constexpr long kErrGeneric = 3000;
inline constexpr long kErrNoEngine = 429;  // the engine's classes cannot be created

// Errors that mean "in use by another user or process": worth waiting for. Every other error
// (no engine, not a database, no permission, ...) stays whatever the wait.
inline bool IsInUse(long number) {
    switch (number) {
        case kErrLockedExclusive:  // opened exclusively by another
        case 3006: case 3008: case 3009:  // database or table exclusively locked
        case 3050: case 3188: case 3196: case 3197:  // cannot lock, in use, changed meanwhile
        case 3211: case 3218: case 3260: case 3261: case 3262:  // locked by another
        case 3356: case 3704: case 3734:  // opened by another user, placed in a state
            return true;
        default:
            return false;
    }
}

struct Error {
    long number = 0;
    std::string description;
    explicit operator bool() const { return number != 0; }
};

// Null, whole number, floating number, text, date-time.
using Value = std::variant<std::monostate, std::int64_t, double, std::string, DateTime>;

enum class RecordsetType { Snapshot, Dynaset };

class Recordset {
public:
    virtual ~Recordset() = default;
    // Records accessed so far (exact for a whole table; exact after MoveLast otherwise);
    // -1 when the records could not be read (a damaged table).
    virtual long RecordCount() = 0;
    virtual bool Eof() = 0;
    virtual bool Bof() = 0;
    virtual void MoveFirst() = 0;
    virtual void MoveLast() = 0;
    virtual void MoveNext() = 0;
    virtual Value Field(const std::string& name, Error* error = nullptr) = 0;
    virtual void Edit() = 0;
    virtual void AddNew() = 0;
    virtual Error SetField(const std::string& name, const Value& value) = 0;
    virtual Error Update() = 0;
    virtual void Close() = 0;
};

class Database {
public:
    virtual ~Database() = default;
    // Table definitions by name in a stable order (the engine's own tables left out).
    virtual std::vector<std::string> TableNames() = 0;
    // From a table name or an SQL text.
    virtual std::unique_ptr<Recordset> OpenRecordset(const std::string& source, RecordsetType type,
                                                     Error& error) = 0;
    virtual void Close() = 0;
};

class IDbEngine {
public:
    virtual ~IDbEngine() = default;
    // Whether the engine itself can be created (on Windows: DAO installed and registered for
    // this program's bitness), before any file is touched.
    virtual Error Check() { return {}; }
    // The engine as an administrator knows it, for messages.
    virtual std::string Name() const { return "DAO"; }
    // Really touches the file, so a failure shows here with its error number.
    virtual std::unique_ptr<Database> OpenDatabase(const std::string& path, bool exclusive,
                                                   bool readOnly, const std::string& connect,
                                                   Error& error) = 0;
};

}  // namespace zq::dao
