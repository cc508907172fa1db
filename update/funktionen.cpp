#include "update/funktionen.h"

#include <cstdio>

#include "common/Paths.h"
#include "common/RegistryAccess.h"

namespace zq::update {
namespace {

// Length of the valid UTF-8 sequence starting at text[pos], 0 when it is not valid.
std::size_t Utf8Length(const std::string& text, std::size_t pos) {
    const auto c = static_cast<unsigned char>(text[pos]);
    std::size_t len = 0;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) len = 2;
    else if (c >= 0xE0 && c <= 0xEF) len = 3;
    else if (c >= 0xF0 && c <= 0xF4) len = 4;
    else return 0;
    if (pos + len > text.size()) return 0;
    for (std::size_t i = 1; i < len; ++i) {
        if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) return 0;
    }
    const auto c1 = static_cast<unsigned char>(text[pos + 1]);
    if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 > 0x9F) || (c == 0xF0 && c1 < 0x90) ||
        (c == 0xF4 && c1 > 0x8F)) {
        return 0;  // overlong forms, surrogates, beyond U+10FFFF
    }
    return len;
}

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
    const std::string program = ctx.env.ProgramPath();
    ctx.glProgramFolder = FolderPart(program, ctx.style);
    std::string name = FilePart(program, ctx.style);
    if (const auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
    ctx.glProgramName = name;
}

std::string FirstChars(const std::string& text, std::size_t count) {
    std::string out;
    std::size_t pos = 0;
    for (std::size_t n = 0; n < count && pos < text.size(); ++n) {
        const std::size_t len = Utf8Length(text, pos);
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
        const std::size_t len = Utf8Length(text, pos);
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

std::string FetchText(UpdateContext& ctx, const std::string& url, std::string* why) {
    auto fail = [&](const std::string& reason) {
        if (why != nullptr) *why = reason;
        return std::string();
    };
    if (url.empty()) return fail("kein Update-Server eingerichtet");
    if (ctx.web == nullptr) return fail("kein Internetzugang eingerichtet");
    std::optional<std::string> page = ctx.web->FetchText(url, kMaxVersionPageBytes);
    if (!page) {
        const std::string reason = ctx.web->LastError();
        return fail(reason.empty() ? "die Seite konnte nicht gelesen werden" : reason);
    }
    if (why != nullptr) why->clear();
    return std::move(*page);
}

MsgResult ShowMessage(UpdateContext& ctx, const std::string& text, MsgButtons buttons,
                      MsgIcon icon, const std::string& title) {
    const std::string shown =
        title.empty() ? std::string("ZEQUORA") + " " + "Update" + "  -  " + ctx.glVersionText
                      : title;
    return ctx.dialogs.ShowMessage(text, shown, icon, buttons);
}

}  // namespace zq::update
