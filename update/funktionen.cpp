#include "update/funktionen.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "common/Paths.h"
#include "common/RegistryAccess.h"
#include "common/Utf8.h"

namespace zq::update {
namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

std::string ProgramVersionText(int major, int minor) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%d.%02d", major, minor);
    return Trim(buffer);
}

std::string WindowCaption(int major, int minor) {
    return std::string("ZEQUORA") + " - " + "Update" + " " + std::to_string(major) + "." +
           std::to_string(minor);
}

std::string ApplicationName(const std::string& base, int major) {
    return base + " " + std::to_string(major);
}

void InitProgramValues(UpdateContext& ctx) {
    ctx.glVersionText = ProgramVersionText(ctx.glMajor, ctx.glMinor);
    ctx.glAppManager = ApplicationName("ZEQUORA - Manager", ctx.glMajor);
    ctx.glAppClient = ApplicationName("ZEQUORA - Client", ctx.glMajor);
    ctx.glCaption = WindowCaption(ctx.glMajor, ctx.glMinor);
    const std::string program = ctx.platform.env.ProgramPath();
    ctx.glProgramFolder = ProgramFolder(ctx.platform.env);
    std::string name = FilePart(program, ctx.style);
    if (const auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
    ctx.glProgramName = name;
}

std::string FirstChars(const std::string& text, std::size_t count) {
    std::string out;
    std::size_t pos = 0;
    for (std::size_t n = 0; n < count && pos < text.size(); ++n) {
        const std::size_t len = Utf8CharLength(text, pos);
        if (len == 0) {
            out += '?';
            ++pos;
        } else {
            out.append(text, pos, len);
            pos += len;
        }
    }
    return out;
}

std::string DisplayText(const std::string& text) {
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t len = Utf8CharLength(text, pos);
        if (len == 0 || (len == 1 && IsControl(static_cast<unsigned char>(text[pos])))) {
            out += '?';
            ++pos;
        } else {
            out.append(text, pos, len);
            pos += len;
        }
    }
    return out;
}

std::string VersionFromPage(const std::string& page, const std::string& marker,
                            bool completeWithZero) {
    const auto at = page.find(marker);
    if (marker.empty() || at == std::string::npos) return {};
    std::string version = FirstChars(page.substr(at + marker.size(), 6 * 4), 6);
    for (std::size_t i = 0; i < version.size(); ++i) {
        if (IsControl(static_cast<unsigned char>(version[i]))) {
            version.resize(i);
            break;
        }
    }
    if (completeWithZero && !version.empty()) version = FirstChars(version + ".0", 6);
    return version;
}

ServerConfig ReadServerConfig(IProfile& profile, const std::string& programFolder,
                              PathStyle style) {
    ServerConfig config;
    const std::string ini = JoinPath(programFolder, kZquIni, style);
    std::string address = Trim(IniRead(profile, ini, "Server", "Adresse"));
    if (address.empty() || IsNotSetMarker(address)) return config;
    for (unsigned char c : address) {
        if (c <= 0x20 || c == 0x7F) {
            config.problem = "Die Adresse des Update-Servers in " + std::string(kZquIni) +
                             " enthält Leer- oder Steuerzeichen.";
            return config;
        }
    }
    if (!StartsWithNoCase(address, "https://")) {
        config.problem = "Die Adresse des Update-Servers in " + std::string(kZquIni) +
                         " ist keine https-Adresse: " + DisplayText(address);
        return config;
    }
    const std::string rest = address.substr(8);  // after "https://"
    const std::string host = rest.substr(0, rest.find('/'));
    if (host.empty() || host.find_first_of("?#@") != std::string::npos) {
        config.problem = "Die Adresse des Update-Servers in " + std::string(kZquIni) +
                         " nennt keinen Rechner: " + DisplayText(address);
        return config;
    }
    while (address.back() == '/') address.pop_back();  // the host keeps it non-empty
    config.base = address;
    const std::string ca = Trim(IniRead(profile, ini, "Server", "CAFile"));
    if (!ca.empty() && !IsNotSetMarker(ca)) {
        config.caFile = IsAbsolute(ca, style) ? ca : JoinPath(programFolder, ca, style);
    }
    return config;
}

std::string ServerAddress(const UpdateContext& ctx, const std::string& resource) {
    if (ctx.glServer.base.empty()) return {};
    return ctx.glServer.base + resource;
}

std::string FetchText(UpdateContext& ctx, const std::string& url, WebError* why,
                      const IWeb::Progress& progress) {
    auto fail = [&](WebError error) {
        if (why != nullptr) *why = std::move(error);
        return std::string();
    };
    if (url.empty()) return fail({WebFailure::Address, 0, "no update server"});
    if (ctx.platform.web == nullptr) return fail({WebFailure::Other, 0, "no web access"});
    std::optional<std::string> page = ctx.platform.web->FetchText(url, kMaxVersionPageBytes, progress);
    if (!page) {
        WebError error = ctx.platform.web->LastError();
        if (error.kind == WebFailure::None) error.kind = WebFailure::Other;
        return fail(std::move(error));
    }
    if (why != nullptr) *why = {};
    return std::move(*page);
}

PageChecksum ChecksumFromPage(const std::string& page, const std::string& marker) {
    PageChecksum sum;
    const auto at = page.find(marker);
    if (marker.empty() || at == std::string::npos) return sum;
    sum.named = true;
    std::string hex;
    std::size_t pos = at + marker.size();
    for (; pos < page.size() && std::isxdigit(static_cast<unsigned char>(page[pos])); ++pos) {
        hex += static_cast<char>(std::tolower(static_cast<unsigned char>(page[pos])));
    }
    // Exactly 64 digits; a longer run is no SHA-256 either.
    if (hex.size() == 64) sum.hex = hex;
    return sum;
}

std::string FailureText(const UpdateContext& ctx, const WebError& error) {
    std::string host = ctx.glServer.base.size() > 8 ? ctx.glServer.base.substr(8) : "";
    host = host.substr(0, host.find('/'));
    const std::string at = host.empty() ? "" : " (" + DisplayText(host) + ")";
    const std::string folder = DisplayText(ctx.glUpdateFolder);
    const std::string code = std::to_string(error.code);
    switch (error.kind) {
        case WebFailure::None:
            return {};
        case WebFailure::Address:
            return "Die Adresse des Update-Servers ist keine https-Adresse.";
        case WebFailure::Connection:
            return "Keine Verbindung zum Update-Server" + at + ".";
        case WebFailure::Certificate:
            return "Das Zertifikat des Update-Servers" + at + " ist nicht vertrauenswürdig.";
        case WebFailure::Status:
            return "Der Update-Server" + at + " antwortete mit dem Status " + code + ".";
        case WebFailure::Redirect:
            if (error.code >= 300 && error.code <= 399) {
                return "Der Update-Server" + at + " antwortete mit dem Status " + code +
                       " (Weiterleitung).";
            }
            return "Der Update-Server" + at + " leitet auf eine Adresse weiter, die nicht mit "
                   "https:// beginnt, oder leitet zu oft weiter.";
        case WebFailure::BrokenOff:
            return "Die Übertragung ist abgebrochen.";
        case WebFailure::Stalled:
            return "Die Übertragung ist abgebrochen: der Update-Server" + at + " sendet nichts mehr.";
        case WebFailure::TooLarge:
            return "Die Seite des Update-Servers" + at + " ist zu groß (mehr als " + code + " Bytes).";
        case WebFailure::DiskFull:
            return "Im Verzeichnis '" + folder + "' ist nicht genug Platz.";
        case WebFailure::Folder:
            return "In das Verzeichnis '" + folder + "' kann nicht geschrieben werden.";
        case WebFailure::Rejected:
            return "Die geladene Datei wurde zurückgewiesen.";
        case WebFailure::Cancelled:
            return "Abgebrochen.";
        case WebFailure::Other:
            break;
    }
    return "Die Anfrage an den Update-Server" + at + " ist fehlgeschlagen.";
}


int ExitCode(const UpdateContext& ctx) {
    return ctx.glManagerFailed || ctx.glClientFailed ? kExitDownloadFailed : kExitOk;
}

MsgResult ShowMessage(UpdateContext& ctx, const std::string& text, MsgButtons buttons,
                      MsgIcon icon, const std::string& title) {
    const std::string shown =
        title.empty() ? std::string("ZEQUORA") + " " + "Update" + "  -  " + ctx.glVersionText
                      : title;
    return ctx.platform.dialogs.ShowMessage(text, shown, icon, buttons);
}

}  // namespace zq::update
