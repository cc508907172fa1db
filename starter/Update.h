#pragma once
// The update check: a newer Manager installer waiting in the update store is offered and
// started; a broken data folder entry is offered for reassignment.
#include <optional>
#include <string>

#include "starter/Global.h"

namespace zq::starter {

// The installer's version text split for the comparison ("4.1.23.1": main "4.1", build "23",
// revision "1"). The split expects a one-digit major number.
struct NewVersion {
    std::string text, main, build, revision;
};
// Nothing when no "." follows from the third character on.
std::optional<NewVersion> SplitVersion(const std::string& text);
// "4.1.23_b1" for a beta revision; the text unchanged for a release (last digit 0).
std::string ShownVersion(const NewVersion& v);

// The version recorded in the front end.
struct CurrentVersion {
    std::string major, minorText, betaText;  // betaText "" when not set
    std::string Minor() const;               // minor text without a leading "."
    std::string Beta() const;                // last character of the beta text, "0" when empty
    std::string Shown() const;               // major + minor text + (beta text or ".0")
};
// Nothing when a part needed for the decision is not a number.
std::optional<bool> UpdateNeeded(const NewVersion& next, const CurrentVersion& current);

// "4.01.0.23" for version 4.1.23.
std::string StarterVersionText(int major, int minor, int revision);
// Prefix of the installer log name from the LogPrefix letters; sets glLogPrefixCfg.
std::string BuildLogPrefix(StarterContext& ctx, const std::string& shownVersion);
// The update store completed against the data folder.
std::string ResolveUpdateStore(StarterContext& ctx, const std::string& store);

// Continue: the start goes on. Exit: the program ends without the footer.
Flow CheckUpdateStore(StarterContext& ctx);
// The question after error 52 on the data folder; Continue or Exit.
Flow RecoverDataPath(StarterContext& ctx);

inline constexpr const char* kDataPathQuestion =
    "Fehler 52 / Dateiname oder -nummer falsch\r\n\r\nDie Pfadangabe der Datendatei in der "
    "Konfigurationsdatei 'zqm.ini' ist fehlerhaft, oder es kann nicht auf den dort genannten "
    "Pfad zugegriffen werden.\r\n\r\nSoll nun das Auswahlfenster für eine Neuzuweisung der "
    "Datendatei geöffnet werden?";
inline constexpr const char* kLogQuestion =
    "Soll der Verlauf des Updates in einer Log-Datei protokolliert werden?\r\n\r\nHinweis:\r\n"
    "Sollten Sie 'Ja' auswählen und anschließend das Update bei der Ausführung einen Fehler "
    "verursachen, dann geben Sie in einem zweiten Durchlauf bitte 'Nein' an.";
std::string UpdateOfferText(const std::string& currentShown, const std::string& newShown);

}  // namespace zq::starter
