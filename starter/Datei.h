#pragma once
// zqm.ini and the front end's own version record.
#include <string>

#include "starter/Global.h"

namespace zq::starter {

// zqm.ini in the program folder; a missing file, section or key reads as "".
std::string IniGet(StarterContext& ctx, const std::string& section, const std::string& key);
// Failures are ignored, as the settings file is only a convenience for later runs.
void IniPut(StarterContext& ctx, const std::string& section, const std::string& key,
            const std::string& value);

// The version fields of the front end's first "tbl_Intern" record.
struct FrontEndVersion {
    enum class State { Read, CannotOpen, NoTable };
    State state = State::CannotOpen;
    std::string major, minor, beta;  // "" for Null or a missing record
};
FrontEndVersion ReadFrontEndVersion(StarterContext& ctx);

}  // namespace zq::starter
