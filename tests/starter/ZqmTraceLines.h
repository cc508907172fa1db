#pragma once
// The trace lines ZQM writes on its way, shared by the end-to-end tests of both platforms:
// the lines are the same, only the paths and their separators differ.
#include <string>
#include <vector>

namespace zqtest {

// Where one installation's files are, as the trace writes them.
struct ZqmPaths {
    std::string sep;           // "/" or "\\"
    std::string prog, office;  // program folder, database program folder
    std::string dataTraced;    // the data folder as the update-store check writes it
    std::string data;          // the data folder as the trusted-location step writes it
    std::string update;        // the update folder
};

// The whole trace of a start that launches the database program with the arguments.
inline std::vector<std::string> LaunchTrace(const ZqmPaths& p, const std::string& args) {
    const std::string command = "\"" + p.office + p.sep + "msaccess.exe\" /runtime  \"" + p.prog + p.sep +
                                "zqm.zqf\"  " + args;
    return {
        "*** Globals ***",
        "Date/Time          : *",
        "ZQM.exe Version    : 4.1.23",
        "glcAccExe          : msaccess.exe",
        "glcZQMFile         : zqm.zqf",
        "glcZQMFileAlt      : zqm.mde",
        "glcZQMiniFile      : zqm.ini",
        "glcRegHKey         : HKEY_LOCAL_MACHINE",
        "glcRegPathAccVar   : Software\\Microsoft\\Office\\14.0\\Common\\InstallRoot",
        "glcRegPathAccVarRT : Software\\Microsoft\\Office\\14.0\\Access\\InstallRoot",
        "glcRegKeyStandard  : ",
        "glcRegKeyAccVar    : Path",
        "",
        "*** Command ***",
        "glStartParm        : " + args,
        "",
        "*** Check Zequora ***",
        "Check Zequora      : " + p.prog + p.sep + "zqm.zqf",
        "Result             : OK",
        "",
        "*** Delete ZQM.mde ***",
        "Delete zqm.mde     : " + p.prog + p.sep + "zqm.mde",
        "Result             : OK",
        "",
        "*** Check Zequora Config ***",
        "Check Config       : " + p.prog + p.sep + "zqm.ini",
        "Result             : OK",
        "Access Version Cfg : 14.0",
        "Access Bit Config  : 32",
        "Access Pfad Config : Not Set",
        "Data Network Cfg   : n",
        "",
        "*** Check Zequora UpdateStore ***",
        "Check Datapath     : " + p.dataTraced + p.sep,
        "Result             : Found",
        "Check Update       : " + p.dataTraced + p.sep + "UpdStore" + p.sep + "zqmupd.exe",
        "Result             : Not found",
        "",
        "*** Check Office 14.0 ***",
        "Read Registry      : Software\\Microsoft\\Office\\14.0\\Common\\InstallRoot\\",
        "Result             : " + p.office,
        "Check Access       : " + p.office + p.sep + "msaccess.exe",
        "Result             : OK",
        "",
        "*** Add folders to trusted locations ***",
        "Program folder     : " + p.prog,
        "Result             : OK",
        "",
        "Update folder      : " + p.update,
        "Result             : OK",
        "",
        "Data folder        : " + p.data,
        "Result             : OK",
        "",
        "Settings           : Network locations are NOT allowed",
        "",
        "*** Start Zequora Manager ***",
        "Command            : " + command,
        "",
        "",
        "[Verweise]",
    };
}

// The end of the trace when the front end is missing.
inline std::vector<std::string> MissingFrontEndTail(const std::string& frontEnd) {
    return {
        "Result             : Error",
        "Error Description: Die ZEQUORA Manager Programmdatei wurde nicht gefunden. ZEQUORA kann "
        "daher nicht gestartet werden.",
        "Installieren Sie ZEQUORA neu bzw. lesen Sie hierzu bitte im Handbuch den Abschnitt "
        "'Installation und Update' [" + frontEnd + "]",
        "",
        "",
        "[Verweise]",
    };
}

}  // namespace zqtest
