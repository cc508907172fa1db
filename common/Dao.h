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
    // Really touches the file, so a failure shows here with its error number.
    virtual std::unique_ptr<Database> OpenDatabase(const std::string& path, bool exclusive,
                                                   bool readOnly, const std::string& connect,
                                                   Error& error) = 0;
};

}  // namespace zq::dao
