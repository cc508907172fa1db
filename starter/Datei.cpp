#include "starter/Datei.h"

#include <charconv>
#include <variant>

#include "common/Dao.h"
#include "common/RegistryAccess.h"

namespace zq::starter {

namespace {

std::string NumberText(double v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string();
}

// A field as the text the version comparison works on.
std::string ValueText(const dao::Value& value) {
    if (auto* s = std::get_if<std::string>(&value)) return *s;
    if (auto* i = std::get_if<std::int64_t>(&value)) return std::to_string(*i);
    if (auto* d = std::get_if<double>(&value)) return NumberText(*d);
    return "";
}

bool IsVersionTable(const std::string& name) { return EqualsNoCase(name, "tbl_Intern"); }

}  // namespace

std::string IniGet(StarterContext& ctx, const std::string& section, const std::string& key) {
    return IniRead(ctx.platform.profile, ctx.glIniFile, section, key);
}

void IniPut(StarterContext& ctx, const std::string& section, const std::string& key,
            const std::string& value) {
    IniWrite(ctx.platform.profile, ctx.glIniFile, section, key, value);
}

FrontEndVersion ReadFrontEndVersion(StarterContext& ctx) {
    FrontEndVersion v;
    dao::IDbEngine* engine = ctx.platform.db;
    if (!engine) return v;
    dao::Error error;
    auto db = engine->OpenDatabase(ctx.glFrontEndFile, false, true, "", error);
    if (!db || error) return v;
    bool hasTable = false;
    for (const auto& name : db->TableNames()) hasTable = hasTable || IsVersionTable(name);
    if (!hasTable) {
        db->Close();
        v.state = FrontEndVersion::State::NoTable;
        return v;
    }
    auto rs = db->OpenRecordset("tbl_Intern", dao::RecordsetType::Dynaset, error);
    if (!rs || error) {
        db->Close();
        return v;
    }
    if (!rs->Eof()) {
        rs->MoveFirst();
        if (!rs->Eof()) {
            dao::Error fieldError;
            v.major = ValueText(rs->Field("VI_Major", &fieldError));
            v.minor = ValueText(rs->Field("VI_Minor", &fieldError));
            v.beta = ValueText(rs->Field("VI_Beta", &fieldError));
        }
    }
    rs->Close();
    db->Close();
    v.state = FrontEndVersion::State::Read;
    return v;
}

}  // namespace zq::starter
