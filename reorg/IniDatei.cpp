#include "reorg/IniDatei.h"

#include <vector>

#include "common/RegistryAccess.h"
#include "reorg/funktionen.h"

namespace zq::reorg {

namespace {

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

void WriteDefaultOptions(IProfile& profile, const std::string& optionsFile) {
    for (const OptionDef& def : Definitions()) {
        if (!ReadOptionBack(profile, optionsFile, def.key).empty()) continue;
        std::string value = std::string(def.defaultValue) + "\r\n";
        for (const char* line : def.comments) value += std::string(line) + "\r\n";
        IniWrite(profile, optionsFile, kOptionsSection, Lower(def.key), value);
    }
}

ReorgOptions ReadOptions(IProfile& profile, const std::string& optionsFile) {
    ReorgOptions o;
    o.kopie = ReadOptionBack(profile, optionsFile, "Sicherungskopie");
    o.log = ReadOptionBack(profile, optionsFile, "Logdatei");
    o.create = ReadOptionBack(profile, optionsFile, "Speicherort");
    o.sleep = ReadOptionBack(profile, optionsFile, "Warten");
    o.tabCode = ReadOptionBack(profile, optionsFile, "TabCode");
    o.maxFiles = LeadingIntegerText(ReadOptionBack(profile, optionsFile, "DateiAnzahlMax"));
    return o;
}

void WriteOption(IProfile& profile, const std::string& optionsFile, const std::string& key,
                 const std::string& value) {
    IniWrite(profile, optionsFile, kOptionsSection, key, value);
}

void WriteDefaultOptions(ReorgContext& ctx) {
    // What a killed earlier write of the file left beside it goes first.
    ctx.platform.profile.RemoveLeftovers(ctx.OptionsFile());
    WriteDefaultOptions(ctx.platform.profile, ctx.OptionsFile());
}

void ReadOptions(ReorgContext& ctx) { ctx.options = ReadOptions(ctx.platform.profile, ctx.OptionsFile()); }

}  // namespace zq::reorg
