#include "update/frmMain/frmMain.h"

#include "common/FileInfo.h"
#include "common/Messages.h"
#include "common/Paths.h"
#include "common/RegistryAccess.h"
#include "common/Sha256.h"
#include "update/funktionen.h"

namespace zq::update {

int RunUpdateTool(Platform& platform, IMainView& view, const WebMaker& makeWeb) {
    // The server's CA file must be known before the web access is built.
    const ServerConfig server =
        ReadServerConfig(platform.profile, ProgramFolder(platform.env), platform.env.Style());
    std::unique_ptr<IWeb> web;
    if (!server.base.empty()) {
        web = makeWeb(server.caFile);
        platform.web = web.get();
    }
    UpdateContext ctx(platform);
    ctx.glServer = server;
    ctx.glServerRead = true;
    FrmMain window(ctx, view);
    window.Run();
    platform.web = nullptr;  // the web access goes with this run
    return ExitCode(ctx);
}
namespace {

constexpr const char* kSettingsRoot = "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\";
constexpr const char* kNotRecorded = "---";

constexpr const char* kOverwriteQuestion =
    "Update-Datei 'XXXX' ist im Verzeichnis 'YYYY' bereits vorhanden.";
constexpr const char* kOverwriteConfirm = "Download trotzdem starten und Datei überschreiben?";
constexpr const char* kDownloadFailed = "Fehler beim Download.";
constexpr const char* kDownloadOk = "Download erfolgreich ausgeführt.";
constexpr const char* kOfferOtherPart =
    "Download erfolgreich ausgeführt.\r\n\r\nWollen Sie nun auch gleich den anderen "
    "Programmteil herunterladen?";
constexpr const char* kCreateFolderQuestion =
    "Das ZEQUORA Update-Verzeichnis'XXXX' ist nicht vorhanden.\r\n\r\nSoll es erstellt werden?";

ProductPart OtherPart(ProductPart part) {
    return part == ProductPart::Manager ? ProductPart::Client : ProductPart::Manager;
}

std::string WithoutTrailingSeparator(std::string folder, PathStyle style) {
    while (folder.size() > 1 && folder.back() == Separator(style)) folder.pop_back();
    return folder;
}

}  // namespace

std::string InstallerFile(ProductPart part) {
    return part == ProductPart::Client ? "zqcupd.exe" : "zqmupd.exe";
}

std::string InstallerResource(ProductPart part) { return "/" + InstallerFile(part); }

FrmMain::FrmMain(UpdateContext& ctx, IMainView& view) : ctx_(ctx), view_(view) {}

std::string FrmMain::NoServerText() const {
    if (!ctx_.glServer.problem.empty()) return ctx_.glServer.problem;
    return "Es ist kein Update-Server eingerichtet (" + std::string(kZquIni) +
           ", Abschnitt \"Server\", Schlüssel \"Adresse\").";
}

void FrmMain::Run() {
    FormLoad();
    if (ctx_.glClosed) return;
    view_.Run(*this);
    ctx_.glClosed = true;
}

void FrmMain::SetDesignCaptions() {
    view_.SetText(ctl::lblInfo, "ZEQUORA Registry Update Informationen");
    view_.SetText(ctl::Label2, "Auto-Update Verzeichnis");
    view_.SetText(ctl::Frame2, "ZEQUORA Manager ");
    view_.SetText(ctl::Label1, "Aktuelle Version");
    view_.SetText(ctl::lbxZQMVersionAkt, "Update Version");
    view_.SetText(ctl::lbxZQMInstDat, "Update Datum");
    view_.SetText(ctl::cmdDownloadZQM, "Download Update");
    view_.SetText(ctl::Frame1, "ZEQUORA Client ");
    view_.SetText(ctl::Label3, "Aktuelle Version");
    view_.SetText(ctl::lbxZQCVersionAkt, "Update Version");
    view_.SetText(ctl::lbxZQCInstDat, "Update Datum");
    view_.SetText(ctl::cmdDownloadZQC, "Download Update");
    view_.SetText(ctl::cmdHistorie, "&Historie anzeigen");
    view_.SetText(ctl::cmdOK, "&Schließen");
}

void FrmMain::FormLoad() {
    loading_ = true;
    SetDesignCaptions();
    InitProgramValues(ctx_);
    view_.SetText(ctl::frmMain, ctx_.glCaption);
    view_.SetText(ctl::lblInfoRegSubKeyZQM, "... " + ctx_.glAppManager + "\\" + "Update" + "\\");
    view_.SetText(ctl::lblInfoRegSubKeyZQC, "... " + ctx_.glAppClient + "\\" + "Update" + "\\");
    FindDataFolder();
    view_.SetText(ctl::lblInfoRegKey, std::string(kSettingsRoot) + " ...");
    ShowRecordedVersions();

    // With visual styles in force the download buttons are drawn as standard buttons.
    const std::string manifest =
        JoinPath(ctx_.glProgramFolder, ctx_.glProgramName + ".exe.manifest", ctx_.style);
    if (ctx_.platform.files.Exists(manifest, kAttrHidden | kAttrSystem)) {
        view_.UseStandardButtonStyle(ctl::cmdDownloadZQM);
        view_.UseStandardButtonStyle(ctl::cmdDownloadZQC);
    }

    if (!ctx_.glServerRead) {
        ctx_.glServer = ReadServerConfig(ctx_.platform.profile, ctx_.glProgramFolder, ctx_.style);
        ctx_.glServerRead = true;
    }
    if (!ctx_.glServer.problem.empty()) view_.ShowNote(ctx_.glServer.problem);
    RemoveLeftovers();
    ReadNewestVersions();
    loading_ = false;
}

void FrmMain::FindDataFolder() {
    ctx_.glDataFolder.clear();
    const std::string zqmIni = JoinPath(ctx_.glProgramFolder, "zqm.ini", ctx_.style);
    if (ctx_.platform.files.Exists(zqmIni, kAttrHidden | kAttrSystem)) {
        ctx_.glDataFolder = Trim(IniRead(ctx_.platform.profile, zqmIni, "Datendatei", "Pfad"));
    }
    const std::string zqcIni = JoinPath(ctx_.glProgramFolder, "zqc.ini", ctx_.style);
    if (ctx_.glDataFolder.empty() && ctx_.platform.files.Exists(zqcIni, kAttrHidden | kAttrSystem)) {
        const std::string dataFile = GetSetting(ctx_.platform.registry, ctx_.glAppClient, "Settings", "01");
        ctx_.glDataFolder = FolderPart(dataFile, ctx_.style);
    }

    ctx_.glUpdateFolder.clear();
    view_.SetText(ctl::lblUpdStorePfad, "");
    view_.SetEnabled(ctl::cmdExplorer, false);
    view_.SetEnabled(ctl::picExplorer, false);
    if (ctx_.glDataFolder.empty()) return;
    ctx_.glDataFolder = EnsureTrailingSeparator(ctx_.glDataFolder, ctx_.style);
    if (ctx_.platform.files.IsDirectory(WithoutTrailingSeparator(ctx_.glDataFolder, ctx_.style))) {
        ctx_.glUpdateFolder =
            ctx_.glDataFolder + "UpdStore" + std::string(1, Separator(ctx_.style));
        view_.SetText(ctl::lblUpdStorePfad, DisplayText(ctx_.glUpdateFolder));
        view_.SetEnabled(ctl::cmdExplorer, true);
        view_.SetEnabled(ctl::picExplorer, true);
    } else {
        ctx_.glDataFolder.clear();
    }
}

void FrmMain::RemoveLeftovers() {
    if (ctx_.glUpdateFolder.empty() || ctx_.platform.web == nullptr) return;
    for (ProductPart part : {ProductPart::Manager, ProductPart::Client}) {
        ctx_.platform.web->RemoveLeftovers(ctx_.glUpdateFolder + InstallerFile(part));
    }
}

void FrmMain::ShowRecordedVersions() {
    auto shown = [](const std::string& value, bool version) {
        if (value.empty()) return std::string(kNotRecorded);
        return DisplayText(version ? FirstChars(value, 6) : value);
    };
    auto& reg = ctx_.platform.registry;
    view_.SetText(ctl::lblZQMVersionAkt,
                  shown(GetSetting(reg, ctx_.glAppManager, "Update", "UpdateVersion"), true));
    view_.SetText(ctl::lblZQMInstDat,
                  shown(GetSetting(reg, ctx_.glAppManager, "Update", "UpdateDate"), false));
    view_.SetText(ctl::lblZQCVersionAkt,
                  shown(GetSetting(reg, ctx_.glAppClient, "Update", "UpdateVersion"), true));
    view_.SetText(ctl::lblZQCInstDat,
                  shown(GetSetting(reg, ctx_.glAppClient, "Update", "UpdateDate"), false));
}

void FrmMain::ReadNewestVersions() {
    ctx_.glNewestManager.clear();
    ctx_.glNewestClient.clear();
    ctx_.glChecksumManager = {};
    ctx_.glChecksumClient = {};
    if (!ctx_.glServer.base.empty()) {
        // The server may take its time: the window is there at once and shows that it waits.
        view_.Show(*this);
        view_.SetBusy(true, "Die neuesten Versionen werden vom Update-Server gelesen ...");
        view_.ProcessPendingEvents();
        WebError why;
        // Closing the window while the server keeps us waiting ends the wait and the program.
        const std::string page =
            FetchText(ctx_, ServerAddress(ctx_, kVersionPage), &why, [this](std::uint64_t, std::uint64_t) {
                view_.ProcessPendingEvents();
                return !ctx_.glClosed;
            });
        view_.SetBusy(false, "");
        if (ctx_.glClosed) return;
        if (why.kind != WebFailure::None) {
            view_.ShowNote("Die neuesten Versionen konnten nicht gelesen werden: " +
                           FailureText(ctx_, why));
        }
        ctx_.glNewestManager = VersionFromPage(page, "ZQM_Version:", true);
        ctx_.glNewestClient = VersionFromPage(page, "ZQC_Version:", false);
        ctx_.glChecksumManager = ChecksumFromPage(page, "ZQM_SHA256:");
        ctx_.glChecksumClient = ChecksumFromPage(page, "ZQC_SHA256:");
    }
    view_.SetText(ctl::lblZQCVersionNeu, ctx_.glNewestClient);
    view_.SetText(ctl::lblZQMVersionNeu, ctx_.glNewestManager);
}

bool FrmMain::Deliver(const MainEvent& event) {
    if (ctx_.glClosed) return false;
    if (event.kind == MainEvent::Kind::Close) {
        if (handlers_ > 0) return true;
        ctx_.glClosed = true;
        return false;
    }
    // One click at a time: a click that lets input through must not start a second one.
    if (loading_ || handlers_ > 0) return true;
    ++handlers_;
    Dispatch(event.control);
    --handlers_;
    return !ctx_.glClosed;
}

void FrmMain::Dispatch(std::string_view control) {
    if (control == ctl::cmdDownloadZQM) CmdDownloadZQMClick();
    else if (control == ctl::cmdDownloadZQC) CmdDownloadZQCClick();
    else if (control == ctl::cmdHistorie) CmdHistorieClick();
    else if (control == ctl::cmdExplorer || control == ctl::picExplorer) CmdExplorerClick();
    else if (control == ctl::cmdOK) CmdOKClick();
}

void FrmMain::CmdDownloadZQMClick() { DownloadPart(ProductPart::Manager); }
void FrmMain::CmdDownloadZQCClick() { DownloadPart(ProductPart::Client); }

void FrmMain::DownloadPart(ProductPart part) {
    std::string target;
    if (!ctx_.glUpdateFolder.empty()) {
        target = ctx_.glUpdateFolder + InstallerFile(part);
        const std::string folder = WithoutTrailingSeparator(ctx_.glUpdateFolder, ctx_.style);
        // A folder that cannot be made shows as a folder that cannot be written below.
        if (!ctx_.platform.files.IsDirectory(folder)) ctx_.platform.files.MakeDirectory(folder);
        if (ctx_.platform.files.Exists(target, kAttrHidden | kAttrSystem)) {
            std::string question = ReplaceAll(kOverwriteQuestion, "XXXX", DisplayText(FilePart(target, ctx_.style)));
            // A question about a folder names it whole: the box wraps it.
            question = ReplaceAll(question, "YYYY", DisplayText(FolderPart(target, ctx_.style)));
            question += std::string(kCrLf) + kCrLf + kOverwriteConfirm;
            if (ShowMessage(ctx_, question, MsgButtons::YesNoCancel, MsgIcon::Question) !=
                MsgResult::Yes) {
                return;
            }
        }
    }

    view_.SetBusy(true, "Download von " + InstallerFile(part) + " ...");
    view_.ProcessPendingEvents();
    Failure failure;
    bool ok = false;
    const std::string url = ServerAddress(ctx_, InstallerResource(part));
    if (target.empty()) {
        failure.text = "Kein Auto-Update Verzeichnis bekannt: der Datenordner wurde nicht gefunden.";
    } else if (url.empty()) {
        failure.text = NoServerText();
    } else if (ctx_.platform.web == nullptr) {
        failure.text = "Kein Internetzugang eingerichtet.";
    } else {
        // Leftovers of a download that was killed are removed before a new one starts.
        ctx_.platform.web->RemoveLeftovers(target);
        std::string refused;
        const PageChecksum& sum =
            part == ProductPart::Client ? ctx_.glChecksumClient : ctx_.glChecksumManager;
        const DownloadResult result = ctx_.platform.web->Download(
            url, target,
            [this](std::uint64_t done, std::uint64_t total) {
                view_.ShowProgress(done, total);
                return true;
            },
            [&](const std::string& received) {
                refused = CheckInstaller(received, sum);
                return refused.empty();
            });
        ok = result.ok;
        if (!ok) {
            failure.number = result.error.code;
            failure.text = result.error.kind == WebFailure::Rejected && !refused.empty()
                               ? refused
                               : FailureText(ctx_, result.error);
        }
    }
    view_.SetBusy(false, "");

    ctx_.glLastResult = ok ? 0 : (failure.number != 0 ? failure.number : -1);
    (part == ProductPart::Client ? ctx_.glClientFailed : ctx_.glManagerFailed) = !ok;
    if (ok) {
        ++ctx_.glDownloadCount;
        ctx_.glLastPart = part;
    }
    ReportDownload(part, ok, failure);
}

std::string FrmMain::CheckInstaller(const std::string& path, const PageChecksum& sum) {
    auto file = ctx_.platform.files.OpenRead(path);
    if (!file) return "Die geladene Datei kann nicht gelesen werden.";
    if (!IsCompletePeFile(*file)) {
        return "Die geladene Datei ist kein vollständiges Windows-Programm (" +
               std::to_string(file->Size()) + " Bytes).";
    }
    if (!sum.named) return {};
    if (sum.hex.empty()) {
        return "Die Prüfsumme auf dem Update-Server ist keine SHA-256-Prüfsumme (64 Hexadezimalziffern).";
    }
    const std::optional<std::string> actual = Sha256HexOfFile(*file);
    if (!actual) return "Die geladene Datei kann nicht gelesen werden.";
    if (*actual != sum.hex) {
        return "Die Prüfsumme (SHA-256) der geladenen Datei weicht von der auf dem Update-Server "
               "genannten ab.";
    }
    return {};
}

void FrmMain::ReportDownload(ProductPart part, bool ok, const Failure& failure) {
    if (!ok) {
        // The number is shown only where one identifies the failure.
        ShowMessage(ctx_,
                    std::string(kDownloadFailed) + kCrLf + kCrLf +
                        (failure.number != 0 ? "Fehler: " + std::to_string(failure.number) + " / " : "") +
                        failure.text,
                    MsgButtons::Ok, MsgIcon::Stop);
        return;
    }
    if (ctx_.glDownloadCount == 1) {
        switch (ShowMessage(ctx_, kOfferOtherPart, MsgButtons::YesNoCancel, MsgIcon::Information)) {
            case MsgResult::Yes:
                DownloadPart(OtherPart(part));
                return;
            case MsgResult::No:
                ExploreFolder(ctx_.glUpdateFolder);
                CloseWindow();
                return;
            default:
                return;
        }
    }
    ShowMessage(ctx_, kDownloadOk, MsgButtons::Ok, MsgIcon::Information);
    ExploreFolder(ctx_.glUpdateFolder);
    CloseWindow();
}

void FrmMain::CmdHistorieClick() {
    const std::string address = ServerAddress(ctx_, kHistoryPage);
    if (address.empty()) {
        ctx_.glLastResult = -1;
        ShowMessage(ctx_, "Fehler: 0 " + NoServerText(), MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    const bool opened = ctx_.platform.shell.Open(address);
    ctx_.glLastResult = opened ? 0 : -1;
    if (!opened) {
        ShowMessage(ctx_, "Fehler: 0 die Adresse konnte nicht geöffnet werden: " + address,
                    MsgButtons::Ok, MsgIcon::Information);
    }
}

void FrmMain::CmdExplorerClick() {
    if (ctx_.glUpdateFolder.empty()) return;
    const std::string folder = WithoutTrailingSeparator(ctx_.glUpdateFolder, ctx_.style);
    if (ctx_.platform.files.IsDirectory(folder)) {
        ExploreFolder(ctx_.glUpdateFolder);
        return;
    }
    const std::string question =
        ReplaceAll(kCreateFolderQuestion, "XXXX", DisplayText(FolderPart(ctx_.glUpdateFolder, ctx_.style)));
    switch (ShowMessage(ctx_, question, MsgButtons::YesNoCancel, MsgIcon::Question)) {
        case MsgResult::Yes: {
            const FsStatus created = ctx_.platform.files.MakeDirectory(folder);
            if (!created.ok()) {
                view_.ShowNote("Das Verzeichnis konnte nicht erstellt werden: " + created.text);
            }
            ExploreFolder(ctx_.glUpdateFolder);
            return;
        }
        case MsgResult::No:
            ExploreFolder(ctx_.glDataFolder);
            return;
        default:
            return;
    }
}

void FrmMain::CmdOKClick() { CloseWindow(); }

void FrmMain::ExploreFolder(const std::string& folder) {
    if (!folder.empty()) ctx_.platform.shell.Explore(folder);  // failures are not reported
}

void FrmMain::CloseWindow() {
    ctx_.glClosed = true;
    view_.Close();
}

}  // namespace zq::update
