// The Win32 windows frmZQR and frmMain over their real logic, on Wine's display (xvfb-run):
// the design's places and fonts, the owner-drawn buttons against the manifest rule, clicks
// and the leaving of the path field as the logic's events, the open-file dialog's settings,
// the busy sign, and long paths elided with the whole text in a tooltip.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "common/RegistryAccess.h"
#include "platform/win32/WinClock.h"
#include "platform/win32/WinControls.h"
#include "platform/win32/WinDialogs.h"
#include "platform/win32/WinFiles.h"
#include "platform/win32/WinProcesses.h"
#include "platform/win32/WinProfile.h"
#include "platform/win32/WinRegistry.h"
#include "platform/win32/WinReorgView.h"
#include "platform/win32/WinShell.h"
#include "platform/win32/WinUpdateView.h"
#include "platform/win32/WinTestSupport.h"
#include "reorg/Global.h"
#include "reorg/frmZQR/frmZQR.h"
#include "update/UpdateContext.h"
#include "update/UpdateFakes.h"
#include "update/frmMain/frmMain.h"

namespace {

using zq::reorg::Control;
using zq::reorg::Flow;
using zq::win32::Utf8;
using zq::win32::Wide;

bool HaveDisplay() {
    wchar_t value[64] = {};
    return GetEnvironmentVariableW(L"DISPLAY", value, 64) > 0 && value[0] != L'\0';
}

#define NEED_DISPLAY() \
    if (!HaveDisplay()) GTEST_SKIP() << "no display: run under xvfb-run (scripts/test-windows.sh does)"

std::string WindowText(HWND w) {
    wchar_t buffer[1024] = {};
    const int n = GetWindowTextW(w, buffer, 1024);
    return Utf8(buffer, static_cast<std::size_t>(n));
}

RECT ClientPlace(HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

LOGFONTW FontOf(HWND control) {
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    return lf;
}

// The colour a control draws at a point of its face, drawn into a memory context.
COLORREF PixelOf(HWND control, int x, int y) {
    RECT r{};
    GetClientRect(control, &r);
    HDC screen = GetDC(control);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, r.right, r.bottom);
    ReleaseDC(control, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    const COLORREF colour = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return colour;
}

void LetThrough() { zq::win32::ProcessPendingMessages(nullptr); }

void Click(HWND button) {
    SendMessageW(button, BM_CLICK, 0, 0);
    LetThrough();
}

// A mouse click where the user would make it: in the middle of the control.
void MouseClick(HWND control) {
    RECT r{};
    GetClientRect(control, &r);
    const LPARAM at = MAKELPARAM(r.right / 2, r.bottom / 2);
    SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(control, WM_LBUTTONUP, 0, at);
    LetThrough();
}

// Boxes are not expected; the file dialog gives the path set and records how it was asked.
class RecordingDialogs : public zq::IDialogs {
public:
    struct FileRequest {
        std::string title, filterName, filterPattern, initialFolder;
    };
    void SetOwner(zq::WindowHandle window) override { owner = window; }
    zq::MsgResult ShowMessage(const std::string& text, const std::string&, zq::MsgIcon, zq::MsgButtons,
                              int) override {
        ADD_FAILURE() << "unexpected box: " << text;
        return zq::MsgResult::Cancel;
    }
    std::optional<std::string> OpenFile(const std::string& title, const std::string& filterName,
                                        const std::string& filterPattern,
                                        const std::string& initialFolder) override {
        requests.push_back({title, filterName, filterPattern, initialFolder});
        return chosen;
    }
    zq::WindowHandle owner = 0;
    std::optional<std::string> chosen;
    std::vector<FileRequest> requests;
};

// The reorganiser's window over its logic, in a program folder of its own. The remembered
// path goes under a product name of the test's, so no other test's setting is touched.
class ReorgWindow : public ::testing::Test {
protected:
    static constexpr const char* kProduct = "ZEQUORA - Fenstertest";

    void SetUp() override {
        NEED_DISPLAY();
        ctx.run.glDataFile = "C:\\Daten\\zqdata.mdb";
        zq::reorg::ApplyDesign(view);
    }
    void TearDown() override {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\VB and VBA Program Settings", 0, KEY_ALL_ACCESS, &key) ==
            ERROR_SUCCESS) {
            RegDeleteTreeW(key, Wide(kProduct).c_str());
            RegCloseKey(key);
        }
    }
    HWND H(Control c) const { return view.Handle(c); }
    std::string Remembered() { return zq::GetSetting(registry, kProduct, "Settings", "01", ""); }
    zq::reorg::ProgramValues Values() {
        auto values = zq::reorg::ProgramValues::Of(platform, "");
        values.glProductName = kProduct;
        values.glWindowTitle = std::string(kProduct) + " 4.1";
        return values;
    }

    zqwin::TempDir dir;
    zq::win32::WinRegistry registry;
    zq::win32::WinProfile profile;
    zq::win32::WinFiles files;
    zq::win32::WinProcesses processes;
    zq::win32::WinClock clock;
    zqwin::ProgramAt env{dir / "ZQR.exe"};
    zq::win32::WinShell shell;
    RecordingDialogs dialogs;
    zq::Platform platform{registry, profile, files, processes, clock, env, shell, dialogs};
    zq::win32::WinReorgView view{dialogs};
    zq::reorg::ReorgContext ctx{platform, view, Values()};
    zq::reorg::FrmZQR window{ctx};
};

TEST_F(ReorgWindow, ControlsAtTheirDesignPlacesInPixelsAt96DpiWithTheirFontsCaptionAndTip) {
    // Nothing is made before the window is shown: an unattended run has none.
    EXPECT_EQ(H(Control::frmZQR), nullptr);
    ASSERT_EQ(view.Show(window), Flow::Go);
    HWND frm = H(Control::frmZQR);
    ASSERT_NE(frm, nullptr);
    if (zq::win32::WindowDpi(frm) != 96) GTEST_SKIP() << "the display is not at 96 DPI";

    RECT client{};
    GetClientRect(frm, &client);
    EXPECT_EQ(client.right, 442);  // 6630 twips
    EXPECT_EQ(client.bottom, 132);  // 1980 twips
    struct Expected {
        Control control;
        LONG left, top, width, height;
    };
    for (const Expected& e : {Expected{Control::picDatendatei, 409, 43, 16, 16}, {Control::cmdEnde, 14, 80, 204, 33},
                              {Control::cmdReorg, 224, 80, 204, 33}, {Control::txtDatenbank, 14, 41, 387, 21},
                              {Control::cmdDatendatei, 406, 41, 21, 21}, {Control::lblFortschritt, 228, 24, 173, 17},
                              {Control::lblDatendatei, 16, 23, 398, 17}}) {
        const RECT r = ClientPlace(H(e.control));
        EXPECT_EQ(r.left, e.left) << static_cast<int>(e.control);
        EXPECT_EQ(r.top, e.top) << static_cast<int>(e.control);
        EXPECT_EQ(r.right - r.left, e.width) << static_cast<int>(e.control);
        EXPECT_EQ(r.bottom - r.top, e.height) << static_cast<int>(e.control);
    }
    // The folder picture lies over its button and takes the clicks there.
    POINT middle{417, 51};
    EXPECT_EQ(ChildWindowFromPointEx(frm, middle, CWP_SKIPINVISIBLE), H(Control::picDatendatei));

    // Arial bold 9.75 pt on the large buttons, 8.25 pt on the path field and its caption.
    for (Control c : {Control::cmdEnde, Control::cmdReorg}) {
        const LOGFONTW lf = FontOf(H(c));
        EXPECT_EQ(std::wstring(lf.lfFaceName), L"Arial");
        EXPECT_EQ(lf.lfHeight, -13);
        EXPECT_GE(lf.lfWeight, FW_BOLD);
    }
    for (Control c : {Control::txtDatenbank, Control::lblDatendatei}) {
        const LOGFONTW lf = FontOf(H(c));
        EXPECT_EQ(std::wstring(lf.lfFaceName), L"Arial");
        EXPECT_EQ(lf.lfHeight, -11);
        EXPECT_GE(lf.lfWeight, FW_BOLD);
    }

    EXPECT_EQ(WindowText(frm), "ZEQUORA - Fenstertest 4.1");
    EXPECT_EQ(WindowText(H(Control::txtDatenbank)), "C:\\Daten\\zqdata.mdb");
    EXPECT_EQ(WindowText(H(Control::cmdEnde)), "&Schließen");
    EXPECT_EQ(WindowText(H(Control::lblDatendatei)), "ZEQUORA Datendatei (zqdata.mdb)");
    EXPECT_FALSE(IsWindowVisible(H(Control::lblFortschritt)));
    EXPECT_EQ(Utf8(zq::win32::TipText(view.Tooltip(), H(Control::txtDatenbank))),
              "Pfad und Name der Datenbank (ZQData.mdb)");
    // Boxes and the file dialog belong to the window.
    EXPECT_EQ(dialogs.owner, reinterpret_cast<zq::WindowHandle>(frm));
}

TEST_F(ReorgWindow, StartButtonGreenAndDrawnByTheProgramUntilAManifestHandsBothButtonsToTheSystem) {
    ASSERT_EQ(view.Show(window), Flow::Go);
    for (Control c : {Control::cmdReorg, Control::cmdEnde}) {
        EXPECT_TRUE(zq::win32::IsOwnerDrawn(H(c)));
        EXPECT_EQ(GetWindowLongPtrW(H(c), GWL_STYLE) & 0x2000, 0);
    }
    EXPECT_EQ(PixelOf(H(Control::cmdReorg), 8, 8), RGB(128, 255, 128));
    EXPECT_EQ(PixelOf(H(Control::cmdEnde), 8, 8), GetSysColor(COLOR_BTNFACE));

    // ZQR.exe.manifest beside the program: the type bits 0xB go, the multi-line bit comes.
    zqwin::WriteBytes(dir / "ZQR.exe.manifest", "<assembly/>");
    RecordingDialogs otherDialogs;
    zq::win32::WinReorgView styled(otherDialogs);
    zq::reorg::ReorgContext styledCtx(platform, styled, "");
    zq::reorg::FrmZQR styledWindow(styledCtx);
    zq::reorg::ApplyDesign(styled);
    ASSERT_EQ(styled.Show(styledWindow), Flow::Go);
    for (Control c : {Control::cmdReorg, Control::cmdEnde}) {
        const LONG_PTR style = GetWindowLongPtrW(styled.Handle(c), GWL_STYLE);
        EXPECT_EQ(style & 0xB, 0) << static_cast<int>(c);
        EXPECT_EQ(style & 0x2000, 0x2000) << static_cast<int>(c);
    }
    EXPECT_NE(PixelOf(styled.Handle(Control::cmdReorg), 8, 8), RGB(128, 255, 128));
}

TEST_F(ReorgWindow, ClicksAndTheLeavingOfThePathFieldReachTheLogicAsItsEvents) {
    ASSERT_EQ(view.Show(window), Flow::Go);
    HWND field = H(Control::txtDatenbank);

    // The folder picture opens the file dialog with the path field's text; the choice fills
    // the field and becomes the remembered data file.
    dialogs.chosen = "D:\\Daten\\zqdata.mdb";
    MouseClick(H(Control::picDatendatei));
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].title, kProduct);
    EXPECT_EQ(dialogs.requests[0].filterName, "Datenbank");
    EXPECT_EQ(dialogs.requests[0].filterPattern, "*.mdb");
    EXPECT_EQ(dialogs.requests[0].initialFolder, "C:\\Daten\\zqdata.mdb");
    EXPECT_EQ(WindowText(field), "D:\\Daten\\zqdata.mdb");
    EXPECT_EQ(ctx.run.glDataFile, "D:\\Daten\\zqdata.mdb");
    EXPECT_EQ(Remembered(), "D:\\Daten\\zqdata.mdb");
    // The small button does the same; a cancelled dialog changes nothing.
    dialogs.chosen.reset();
    Click(H(Control::cmdDatendatei));
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[1].initialFolder, "D:\\Daten\\zqdata.mdb");
    EXPECT_EQ(WindowText(field), "D:\\Daten\\zqdata.mdb");

    // A typed path is taken when the focus moves to another control of the window, not when
    // another window takes it.
    SetFocus(field);
    SetWindowTextW(field, L"E:\\Getippt\\zqdata.mdb");
    HWND other = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    SetFocus(other);
    LetThrough();
    EXPECT_EQ(ctx.run.glDataFile, "D:\\Daten\\zqdata.mdb");
    DestroyWindow(other);
    SetFocus(field);
    SetFocus(H(Control::cmdEnde));
    LetThrough();
    EXPECT_EQ(ctx.run.glDataFile, "E:\\Getippt\\zqdata.mdb");
    EXPECT_EQ(Remembered(), "E:\\Getippt\\zqdata.mdb");

    // The end button ends the program: the window goes, boxes no longer belong to it.
    Click(H(Control::cmdEnde));
    EXPECT_FALSE(view.IsShown());
    EXPECT_FALSE(IsWindowVisible(H(Control::frmZQR)));
    EXPECT_EQ(dialogs.owner, 0u);
    EXPECT_TRUE(ctx.run.windowClosed);
}

TEST_F(ReorgWindow, AWaitLetsPendingMessagesThroughOnceWithThePathFieldKept) {
    ASSERT_EQ(view.Show(window), Flow::Go);
    // Nothing pending: the wait goes on, and the field can be typed into again after it.
    EXPECT_EQ(zq::reorg::LetInputThrough(ctx), Flow::Go);
    EXPECT_EQ(GetWindowLongPtrW(H(Control::txtDatenbank), GWL_STYLE) & ES_READONLY, 0);

    // A click on the end button queued while the program waits is taken at the next round:
    // the window is closed during the wait, and the wait ends.
    HWND end = H(Control::cmdEnde);
    PostMessageW(H(Control::frmZQR), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(end), BN_CLICKED),
                 reinterpret_cast<LPARAM>(end));
    EXPECT_EQ(zq::reorg::LetInputThrough(ctx), Flow::End);
    EXPECT_TRUE(ctx.run.windowClosed);
    EXPECT_FALSE(IsWindowVisible(H(Control::frmZQR)));
}

TEST(WinOpenFileSetup, TitleFilterDefaultExtensionOptionsAndTheFolderOfThePathField) {
    zqwin::TempDir dir;
    zqwin::WriteBytes(dir / "zqdata.mdb", "");
    HWND owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));
    zq::win32::OpenFileSetup setup(owner, "ZEQUORA - Datendatei Reorganisation", "Datenbank", "*.mdb",
                                   dir / "zqdata.mdb");
    const OPENFILENAMEW& ofn = setup.Get();
    EXPECT_EQ(ofn.hwndOwner, owner);
    EXPECT_EQ(std::wstring(ofn.lpstrTitle), L"ZEQUORA - Datendatei Reorganisation");
    EXPECT_EQ(std::wstring(ofn.lpstrFilter, 17), std::wstring(L"Datenbank\0*.mdb\0\0", 17));
    EXPECT_EQ(ofn.nFilterIndex, 1u);
    EXPECT_EQ(std::wstring(ofn.lpstrDefExt), L"mdb");
    const DWORD options = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    EXPECT_EQ(ofn.Flags & options, options);
    EXPECT_EQ(ofn.Flags & OFN_ALLOWMULTISELECT, 0u);
    EXPECT_EQ(ofn.lpstrFile[0], L'\0');  // no initial file name
    EXPECT_GE(ofn.nMaxFile, 128u);
    // The dialog starts in folders: the data file's folder, a folder as it is, a root.
    EXPECT_EQ(Utf8(ofn.lpstrInitialDir), dir.Path());
    EXPECT_EQ(Utf8(zq::win32::OpenFileSetup(nullptr, "", "Datenbank", "*.mdb", dir.Path()).Get().lpstrInitialDir),
              dir.Path());
    EXPECT_EQ(std::wstring(zq::win32::OpenFileSetup(nullptr, "", "Datenbank", "*.mdb", "C:\\zqdata.mdb")
                               .Get()
                               .lpstrInitialDir),
              L"C:\\");
    EXPECT_EQ(zq::win32::OpenFileSetup(nullptr, "", "Datenbank", "*.mdb", "").Get().lpstrInitialDir, nullptr);
    EXPECT_EQ(zq::win32::OpenFileSetup(nullptr, "", "Alle", "*.*", "").Get().lpstrDefExt, nullptr);
}

// The update tool's window over its logic, in a program folder of its own with a data folder.
class UpdateWindow : public ::testing::Test {
protected:
    void SetUp() override {
        NEED_DISPLAY();
        CreateDirectoryW(Wide(dir / "daten").c_str(), nullptr);
        zqwin::WriteBytes(dir / "zqm.ini", "[Datendatei]\r\nPfad=" + (dir / "daten") + "\r\n");
        web.resources["https://updates.example/iupdate.htm"] = "ZQC_Version:4.01.3 ZQM_Version:4.01";
        ctx.glServer.base = "https://updates.example";
        ctx.glServerRead = true;
    }
    HWND H(std::string_view control) const { return view.Handle(control); }

    zqwin::TempDir dir;
    zq::win32::WinRegistry registry;
    zq::win32::WinProfile profile;
    zq::win32::WinFiles files;
    zqwin::ProgramAt env{dir / "ZQU.exe"};
    zqtest::RecordingShell shell;
    zqtest::ScriptedDialogs boxes;
    zqtest::FakeWeb web;
    zq::win32::WinUpdateView view{boxes};
    zqtest::RecordingProcesses processes;
    zqtest::FakeClock clock;
    zq::Platform platform{registry, profile, files, processes, clock, env, shell, boxes, &web};
    zq::update::UpdateContext ctx{platform};
    zq::update::FrmMain frm{ctx, view};
};

namespace ctl = zq::update::ctl;

TEST_F(UpdateWindow, ShownAtOnceWithABusySignWhileTheVersionPageLoadsThenEveryControlWithItsText) {
    bool visible = false, busyShown = false, hourglass = false;
    std::string busyText;
    web.onFetch = [&] {
        visible = IsWindowVisible(view.Window()) != FALSE;
        busyShown = IsWindowVisible(H("busyText")) && IsWindowVisible(H("progress"));
        busyText = WindowText(H("busyText"));
        hourglass = GetCursor() == LoadCursorW(nullptr, IDC_WAIT);
    };
    frm.FormLoad();
    EXPECT_TRUE(visible);
    EXPECT_TRUE(busyShown);
    EXPECT_EQ(busyText, "Die neuesten Versionen werden vom Update-Server gelesen ...");
    EXPECT_TRUE(hourglass);
    EXPECT_FALSE(view.IsBusy());
    EXPECT_FALSE(IsWindowVisible(H("busyText")));

    EXPECT_EQ(WindowText(view.Window()), ctx.glCaption);
    EXPECT_EQ(WindowText(H(ctl::lblInfo)), "ZEQUORA Registry Update Informationen");
    EXPECT_EQ(WindowText(H(ctl::Frame2)), "ZEQUORA Manager ");
    EXPECT_EQ(WindowText(H(ctl::Frame1)), "ZEQUORA Client ");
    EXPECT_EQ(WindowText(H(ctl::Label2)), "Auto-Update Verzeichnis");
    EXPECT_EQ(WindowText(H(ctl::lblZQMVersionNeu)), "4.01.0");
    EXPECT_EQ(WindowText(H(ctl::lblZQCVersionNeu)), "4.01.3");
    EXPECT_EQ(WindowText(H(ctl::cmdDownloadZQM)), "Download Update");
    EXPECT_EQ(WindowText(H(ctl::cmdDownloadZQC)), "Download Update");
    EXPECT_EQ(WindowText(H(ctl::cmdHistorie)), "&Historie anzeigen");
    EXPECT_EQ(WindowText(H(ctl::cmdOK)), "&Schließen");
    for (std::string_view c : {ctl::lblInfoRegKey, ctl::lblInfoRegSubKeyZQM, ctl::lblInfoRegSubKeyZQC,
                               ctl::lblUpdStorePfad, ctl::Label1, ctl::Label3, ctl::lbxZQMVersionAkt,
                               ctl::lblZQMVersionAkt, ctl::lbxZQMInstDat, ctl::lblZQMInstDat,
                               ctl::lbxZQCVersionAkt, ctl::lblZQCVersionAkt, ctl::lbxZQCInstDat,
                               ctl::lblZQCInstDat, ctl::cmdExplorer, ctl::picExplorer}) {
        ASSERT_NE(H(c), nullptr) << c;
        EXPECT_TRUE(IsWindowVisible(H(c))) << c;
    }
    EXPECT_TRUE(IsWindowEnabled(H(ctl::cmdExplorer)));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(UpdateWindow, LongPathsShowTheirMiddleLeftOutWithTheWholeTextInTheTooltip) {
    frm.FormLoad();
    const std::string longPath =
        "\\\\dateiserver.example\\zequora-installationen\\standort-nord\\abteilung-personal\\"
        "zeiterfassung\\daten\\UpdStore\\";
    view.SetText(ctl::lblUpdStorePfad, longPath);
    const std::string shown = WindowText(H(ctl::lblUpdStorePfad));
    EXPECT_NE(shown, longPath);
    EXPECT_NE(shown.find("..."), std::string::npos) << shown;
    EXPECT_EQ(shown.rfind("\\UpdStore\\"), shown.size() - 10) << shown;  // the folder's own name stays
    EXPECT_EQ(shown.rfind("\\\\dateiserver", 0), 0u) << shown;
    EXPECT_EQ(Utf8(zq::win32::TipText(view.Tooltip(), H(ctl::lblUpdStorePfad))), longPath);
    // A path that fits is shown whole, without a tip.
    view.SetText(ctl::lblUpdStorePfad, "C:\\Daten\\UpdStore\\");
    EXPECT_EQ(WindowText(H(ctl::lblUpdStorePfad)), "C:\\Daten\\UpdStore\\");
    EXPECT_EQ(zq::win32::TipText(view.Tooltip(), H(ctl::lblUpdStorePfad)), L"");
}

// Records what the window shows while a download is at work.
class WatchedWeb : public zqtest::FakeWeb {
public:
    zq::DownloadResult Download(const std::string& url, const std::string& target, const Progress& progress,
                                const Check& check) override {
        if (during) during();
        return FakeWeb::Download(url, target, progress, check);
    }
    std::function<void()> during;
};

TEST_F(UpdateWindow, DownloadButtonsFollowTheManifestRuleAndAClickDownloadsUnderTheHourglass) {
    frm.FormLoad();
    for (std::string_view c : {ctl::cmdDownloadZQM, ctl::cmdDownloadZQC}) {
        EXPECT_TRUE(zq::win32::IsOwnerDrawn(H(c))) << c;
    }

    zqwin::WriteBytes(dir / "ZQU.exe.manifest", "<assembly/>");
    WatchedWeb watched;
    watched.resources = web.resources;
    zq::win32::WinUpdateView styled(boxes);
    zq::Platform styledPlatform{registry, profile, files, processes, clock, env, shell, boxes, &watched};
    zq::update::UpdateContext styledCtx(styledPlatform);
    styledCtx.glServer.base = "https://updates.example";
    styledCtx.glServerRead = true;
    zq::update::FrmMain styledFrm(styledCtx, styled);
    styledFrm.FormLoad();
    for (std::string_view c : {ctl::cmdDownloadZQM, ctl::cmdDownloadZQC}) {
        const LONG_PTR style = GetWindowLongPtrW(styled.Handle(c), GWL_STYLE);
        EXPECT_EQ(style & 0xB, 0) << c;
        EXPECT_EQ(style & 0x2000, 0x2000) << c;
    }

    // The Manager's button: its download runs under the hourglass; the installer is not on the
    // server, and the failure is told in a box that belongs to the window.
    bool hourglass = false;
    std::string busyText;
    watched.during = [&] {
        hourglass = styled.IsBusy() && GetCursor() == LoadCursorW(nullptr, IDC_WAIT);
        busyText = WindowText(styled.Handle("busyText"));
    };
    boxes.answers.push_back(zq::MsgResult::Ok);
    Click(styled.Handle(ctl::cmdDownloadZQM));
    ASSERT_EQ(watched.downloads.size(), 1u);
    EXPECT_EQ(watched.downloads[0].rfind("https://updates.example/zqmupd.exe -> ", 0), 0u) << watched.downloads[0];
    EXPECT_TRUE(hourglass);
    EXPECT_EQ(busyText, "Download von zqmupd.exe ...");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text.rfind("Fehler beim Download.", 0), 0u) << boxes.boxes[0].text;
    EXPECT_FALSE(styled.IsBusy());
}

}  // namespace
