#pragma once
// The program-wide values of one run of the update tool, and the services it uses.
#include <string>

#include "common/Version.h"

#include "platform/Platform.h"

namespace zq::update {

enum class ProductPart { None, Manager, Client };

// Where the update server is, from zqu.ini in the program folder.
struct ServerConfig {
    std::string base;     // "https://host[:port][/path]" without a trailing "/"; empty when none
    std::string caFile;   // full path of a CA bundle to trust instead of the system's; may be empty
    std::string problem;  // why a configured address is not used; empty when fine
};

// A checksum named on the version page for an installer.
struct PageChecksum {
    bool named = false;  // the marker is on the page
    std::string hex;     // 64 lower-case hex digits; empty when the marker is followed by none
};

// Exit codes of zqu (listed in the README).
inline constexpr int kExitOk = 0;              // closed; no download failed, or it was repeated with success
inline constexpr int kExitDownloadFailed = 1;  // closed while the last download of a part had failed
inline constexpr int kExitFetchFailed = 2;     // --fetch-file: the measured download failed

struct UpdateContext {
    explicit UpdateContext(Platform& p) : platform(p), style(p.env.Style()) {}

    Platform& platform;  // its web is nothing when no update server is configured
    PathStyle style;

    int glMajor = kVersionMajor;
    int glMinor = kVersionMinor;
    std::string glProgramFolder;  // without a trailing separator
    std::string glProgramName;    // own file name without extension
    std::string glVersionText;    // "4.01"
    std::string glCaption;        // "ZEQUORA - Update 4.1"
    std::string glAppManager;     // "ZEQUORA - Manager 4"
    std::string glAppClient;      // "ZEQUORA - Client 4"
    ServerConfig glServer;
    bool glServerRead = false;    // glServer holds zqu.ini's values (main reads it once)

    std::string glDataFolder;     // ends in the separator; empty when not found
    std::string glUpdateFolder;   // glDataFolder + "UpdStore" + separator; may be empty
    std::string glNewestManager;
    std::string glNewestClient;
    PageChecksum glChecksumManager;  // "ZQM_SHA256:" on the version page
    PageChecksum glChecksumClient;   // "ZQC_SHA256:"

    int glDownloadCount = 0;
    ProductPart glLastPart = ProductPart::None;
    long glLastResult = 0;        // 0 = success
    bool glManagerFailed = false; // the last download of the part failed
    bool glClientFailed = false;
    bool glClosed = false;        // the window was closed: the program ends
};

}  // namespace zq::update
