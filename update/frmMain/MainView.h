#pragma once
// The update tool's window as the logic sees it: controls addressed by their names.
#include <cstdint>
#include <string>
#include <string_view>

namespace zq::update {

namespace ctl {
inline constexpr std::string_view frmMain = "frmMain";
inline constexpr std::string_view lblInfo = "lblInfo";
inline constexpr std::string_view lblInfoRegKey = "lblInfoRegKey";
inline constexpr std::string_view lblInfoRegSubKeyZQM = "lblInfoRegSubKeyZQM";
inline constexpr std::string_view lblInfoRegSubKeyZQC = "lblInfoRegSubKeyZQC";
inline constexpr std::string_view Label2 = "Label2";
inline constexpr std::string_view lblUpdStorePfad = "lblUpdStorePfad";
inline constexpr std::string_view Frame2 = "Frame2";
inline constexpr std::string_view Label1 = "Label1";
inline constexpr std::string_view lblZQMVersionNeu = "lblZQMVersionNeu";
inline constexpr std::string_view lbxZQMVersionAkt = "lbxZQMVersionAkt";
inline constexpr std::string_view lblZQMVersionAkt = "lblZQMVersionAkt";
inline constexpr std::string_view lbxZQMInstDat = "lbxZQMInstDat";
inline constexpr std::string_view lblZQMInstDat = "lblZQMInstDat";
inline constexpr std::string_view cmdDownloadZQM = "cmdDownloadZQM";
inline constexpr std::string_view Frame1 = "Frame1";
inline constexpr std::string_view Label3 = "Label3";
inline constexpr std::string_view lblZQCVersionNeu = "lblZQCVersionNeu";
inline constexpr std::string_view lbxZQCVersionAkt = "lbxZQCVersionAkt";
inline constexpr std::string_view lblZQCVersionAkt = "lblZQCVersionAkt";
inline constexpr std::string_view lbxZQCInstDat = "lbxZQCInstDat";
inline constexpr std::string_view lblZQCInstDat = "lblZQCInstDat";
inline constexpr std::string_view cmdDownloadZQC = "cmdDownloadZQC";
inline constexpr std::string_view cmdHistorie = "cmdHistorie";
inline constexpr std::string_view cmdExplorer = "cmdExplorer";
inline constexpr std::string_view picExplorer = "picExplorer";
inline constexpr std::string_view cmdOK = "cmdOK";
}  // namespace ctl

// What the user did to the window: a click on a button or the folder picture, by the
// control's name, or closing it (frame button, system menu, the end of a console's input).
// A view reports these as they happen and nothing else; which of them the window takes,
// and when, FrmMain decides, the same for every view.
struct MainEvent {
    enum class Kind { Click, Close };
    Kind kind = Kind::Click;
    std::string_view control;  // the control clicked
};

class IMainEvents {
public:
    virtual ~IMainEvents() = default;
    // Whether the window stays: false when it goes (the view hides it and leaves Run).
    virtual bool Deliver(const MainEvent& event) = 0;
};

class IMainView {
public:
    virtual ~IMainView() = default;
    // The caption of the window, a group or a button, or the content of a label.
    virtual void SetText(std::string_view control, const std::string& text) = 0;
    virtual void SetEnabled(std::string_view control, bool enabled) = 0;
    // Visual styles are in force: the button is drawn as a standard (multi-line) button.
    virtual void UseStandardButtonStyle(std::string_view control) = 0;
    // Shows the window at once, before Run, so a long step while it opens is seen; its events
    // go to events from now on.
    virtual void Show(IMainEvents& events) = 0;
    // The busy pointer over the whole screen with a busy sign and what is being done, and back.
    virtual void SetBusy(bool busy, const std::string& what) = 0;
    // Lets pending window events through once, so the window repaints before or during a long
    // step; the events that arrive meanwhile are reported to Deliver.
    virtual void ProcessPendingEvents() = 0;
    // Progress of a download; total 0 when the size is unknown.
    virtual void ShowProgress(std::uint64_t done, std::uint64_t total) = 0;
    // A short remark that needs no answer (why no versions could be read, for example).
    virtual void ShowNote(const std::string& text) = 0;
    // Shows the window and reports its events to Deliver until it says the window goes or
    // Close() is called.
    virtual void Run(IMainEvents& events) = 0;
    // The logic closes the window.
    virtual void Close() = 0;
};

}  // namespace zq::update
