#pragma once
// The data-access engine on Windows: DAO driven by COM automation, late bound through
// IDispatch ("DAO.DBEngine.120", else "DAO.DBEngine.36"). DAO's own error numbers arrive in
// the automation error and are passed on unchanged. COM must be initialised (apartment
// threaded) on the calling thread by the owner for as long as the engine and every database
// and recordset it gave out are alive.
#include <memory>
#include <string>
#include <vector>

#include "common/Dao.h"

struct IDispatch;

namespace zq::win32 {

// "ActiveX component can't create object": no DAO is installed or registered.
inline constexpr long kErrNoDao = zq::dao::kErrNoEngine;

class DaoEngine : public zq::dao::IDbEngine {
public:
    // The DBEngine classes to try, in order.
    explicit DaoEngine(std::vector<std::string> progIds = {"DAO.DBEngine.120", "DAO.DBEngine.36"});
    ~DaoEngine() override;
    DaoEngine(const DaoEngine&) = delete;
    DaoEngine& operator=(const DaoEngine&) = delete;

    // The DBEngine is created at the first open, so that a missing DAO shows there.
    std::unique_ptr<zq::dao::Database> OpenDatabase(const std::string& path, bool exclusive,
                                                    bool readOnly, const std::string& connect,
                                                    zq::dao::Error& error) override;

    zq::dao::Error Check() override;
    std::string Name() const override;  // "DAO (DAO.DBEngine.120, DAO.DBEngine.36)"

    // The ProgID of the DBEngine in use; empty before the first open or without DAO.
    const std::string& ProgId() const { return progId_; }

private:
    std::vector<std::string> progIds_;
    IDispatch* engine_ = nullptr;
    std::string progId_;
};

}  // namespace zq::win32
