#pragma once
// The data-access engine over SQLite. Data files and front ends are SQLite database files
// under the product's names. While a database is open its lock file (<name>.ldb, beside it)
// is held with a shared flock; an exclusive open holds it with an exclusive flock, so other
// openers fail with 3045. The last close removes the lock file.
#include <memory>
#include <string>

#include "common/Dao.h"
#include "platform/posix/LockFile.h"

namespace zq::posix {

// The name under which SQLite opens a database file, adding the open flags it needs. On
// Windows a holder that keeps everybody else out asks SQLite's Windows file layer, through a
// file URI, to open the file sharing nothing, as the database engine does; elsewhere, and for
// shared opens, the path itself.
std::string SqliteFileName(const std::string& path, bool exclusive, int& flags);

class SqliteEngine : public zq::dao::IDbEngine {
public:
    SqliteEngine();
    ~SqliteEngine() override;

    std::unique_ptr<zq::dao::Database> OpenDatabase(const std::string& path, bool exclusive,
                                                    bool readOnly, const std::string& connect,
                                                    zq::dao::Error& error) override;
};

}  // namespace zq::posix
