#include "reorg/IniDatei.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "common/IniText.h"

#include "common/RegistryAccess.h"
#include "reorg/funktionen.h"

namespace zq::reorg {

namespace {

constexpr std::size_t kMaxOptionsFileBytes = 1u << 20;

struct OptionDef {
    const char* key;
    const char* defaultValue;
    std::vector<const char*> comments;
};

const std::vector<OptionDef>& Definitions() {
    static const std::vector<OptionDef> defs = {
        {"Sicherungskopie", "b",
         {"; Erstellen einer Sicherungskopie vor Durchführen der Aktion",
          "; x = keine Sicherungskopie erstellen; ",
          "; b = Backend, Speicherung im Unterverzeichnis 'Save' zur Datendatei; ",
          "; f = Frontend, Speicherung im Unterverzeichnis 'Autosave' zur Programmdatei; ",
          "; fb = Front- und Backend, Speicherung an beiden Orten; "}},
        {"Logdatei", "a",
         {"; Erstellen einer Log-Datei die Dateigröße und Anzahl der Datensätze vorher und nacher vergleicht",
          "; x = keine Log-Datei erstellen; ",
          "; a = anhängen, neuen Log an bestehende anhängen; ",
          "; n = neu erstllen, immer neue Log-Datei erstellen; "}},
        {"Speicherort", "b",
         {"; Speicherort der Log-Datei",
          "; b = Backend, Speicherung im Verzeichnis der Datendatei; ",
          "; f = Frontend, Speicherung im Verzeichnis der Programmdatei; "}},
        {"Warten", "0", {"; Zusätzliche Sekunden der Verzögerung zur Ergebnisbestimmung"}},
        {"TabCode", "tbl", {"; Nur Tabellen mit dieser Kennung berücksichtigen"}},
        {"DateiAnzahlMax", "10",
         {"; Nur maximal diese Anzahl von Sicherungsdateien im Verzeichnis zulassen"}},
    };
    return defs;
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

std::string ReadOptionBack(IProfile& profile, const std::string& optionsFile,
                           const std::string& key) {
    return ToUpper(Trim(IniRead(profile, optionsFile, kOptionsSection, key)));
}

void WriteDefaultOptions(IProfile& profile, IFiles& files, const std::string& optionsFile,
                         IniEncoding newFileEncoding) {
    std::vector<const OptionDef*> missing;
    for (const OptionDef& def : Definitions())
        if (ReadOptionBack(profile, optionsFile, def.key).empty()) missing.push_back(&def);
    if (missing.empty()) return;

    // The entries go in as whole text, comment lines and all, exactly as documented: the
    // profile functions would take "; x = ..." for keys and rewrite them.
    std::string raw;
    if (files.Exists(optionsFile, 0)) {
        std::optional<std::string> read = files.ReadAll(optionsFile, kMaxOptionsFileBytes);
        if (!read || read->rfind("\xFF\xFE", 0) == 0) {
            // Unreadable here, or UTF-16: only the values, through the profile functions.
            for (const OptionDef* def : missing)
                IniWrite(profile, optionsFile, kOptionsSection, Lower(def->key), def->defaultValue);
            return;
        }
        raw = *read;
    }
    const IniEncoding encoding = DetectIniEncoding(raw, newFileEncoding);
    std::vector<std::string> lines = IniLines(DecodeIni(raw, encoding));
    for (const OptionDef* def : missing) {
        std::vector<std::string> following(def->comments.begin(), def->comments.end());
        following.emplace_back();
        (void)IniSet(lines, kOptionsSection, Lower(def->key), def->defaultValue, following);
    }
    (void)files.WriteAtomic(optionsFile, EncodeIni(IniJoin(lines), encoding));
}

ReorgOptions ReadOptions(IProfile& profile, const std::string& optionsFile) {
    // The defaults are in force wherever the file gives no value (one that could not be
    // written, for instance): an empty "Sicherungskopie" must never mean "no backup".
    auto read = [&](const char* key) {
        std::string value = ReadOptionBack(profile, optionsFile, key);
        if (value.empty())
            for (const OptionDef& def : Definitions())
                if (std::string(def.key) == key) value = ToUpper(def.defaultValue);
        return value;
    };
    ReorgOptions o;
    o.kopie = read("Sicherungskopie");
    o.log = read("Logdatei");
    o.create = read("Speicherort");
    o.sleep = read("Warten");
    o.tabCode = read("TabCode");
    o.maxFiles = LeadingIntegerText(read("DateiAnzahlMax"));
    // The options of scheduled runs, read only where an administrator has put them.
    o.showBoxesUnattended = ReadOptionBack(profile, optionsFile, "Meldungen") != "N";
    const std::string waitMax = ReadOptionBack(profile, optionsFile, "WartenMax");
    const long minutes = ParseLong(waitMax);
    if (!waitMax.empty() && minutes > 0) o.waitMaxMinutes = static_cast<int>(std::min(minutes, 24L * 60));
    const std::string traces = ReadOptionBack(profile, optionsFile, "TraceAnzahl");
    if (!traces.empty()) o.traceCount = static_cast<int>(std::clamp(ParseLong(traces), 0L, 99L));
    o.Parse();
    return o;
}

ReorgOptions ReorgOptions::FromTexts(std::string kopie, std::string create, std::string log,
                                     std::string sleep, std::string tabCode, std::string maxFiles) {
    ReorgOptions o;
    o.kopie = std::move(kopie);
    o.create = std::move(create);
    o.log = std::move(log);
    o.sleep = std::move(sleep);
    o.tabCode = std::move(tabCode);
    o.maxFiles = std::move(maxFiles);
    o.Parse();
    return o;
}

void ReorgOptions::Parse() {
    backupBesideData = kopie.find('B') != std::string::npos;
    backupBesideProgram = kopie.find('F') != std::string::npos;
    logBesideProgram = create == "F";
    logMode = log == "X" ? LogMode::Off : log == "A" ? LogMode::Append : LogMode::Create;
    delaySeconds = DelaySeconds(sleep);
    censusExtraSeconds = CensusExtraSeconds(sleep);
    maxCopies = ParseLong(maxFiles);
}

void WriteOption(IProfile& profile, const std::string& optionsFile, const std::string& key,
                 const std::string& value) {
    IniWrite(profile, optionsFile, kOptionsSection, key, value);
}

void WriteDefaultOptions(ReorgContext& ctx) {
    // What a killed earlier write of the file left beside it goes first.
    ctx.platform.profile.RemoveLeftovers(ctx.OptionsFile());
    // A new file is in the system's encoding: the ANSI code page on Windows, UTF-8 elsewhere.
    WriteDefaultOptions(ctx.platform.profile, ctx.platform.files, ctx.OptionsFile(),
                        ctx.Style() == PathStyle::Windows ? IniEncoding::Ansi : IniEncoding::Utf8);
}

void ReadOptions(ReorgContext& ctx) { ctx.options = ReadOptions(ctx.platform.profile, ctx.OptionsFile()); }

}  // namespace zq::reorg
