// Renders the Win32 windows for the documentation, under Wine and a virtual display: the
// reorganiser's window plain and after "Programm nicht bereit", one of its message boxes, its
// open-file dialog and the update tool's window, each into a 24-bit BMP file:
// ZQ_Screenshots.exe <folder>   (scripts/screenshots.sh turns them into PNG files)
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/RegistryAccess.h"
#include "platform/win32/WinDialogs.h"
#include "platform/win32/WinFiles.h"
#include "platform/win32/WinProfile.h"
#include "platform/win32/WinRegistry.h"
#include "platform/win32/WinReorgView.h"
#include "platform/win32/WinTestSupport.h"
#include "platform/win32/WinText.h"
#include "platform/win32/WinUpdateView.h"
#include "reorg/frmZQR/frmZQR.h"
#include "update/UpdateContext.h"
#include "update/UpdateFakes.h"
#include "update/frmMain/frmMain.h"

namespace {

using zq::reorg::Control;
using zq::reorg::Flow;
using zq::win32::Utf8;
using zq::win32::Wide;

// Lets the window's messages through for a moment, so it is drawn completely.
void Settle(int ms) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    while (GetTickCount() < end) {
        zq::win32::ProcessPendingMessages(nullptr);
        Sleep(20);
    }
}

// The window as it is on the screen, frame included, into a BMP file.
bool SaveWindow(HWND window, const std::string& file) {
    bool ok = false;
    RECT r{};
    if (window != nullptr && GetWindowRect(window, &r)) {
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
        // What is drawn reaches the display while messages are let through.
        Settle(400);
        const int width = r.right - r.left, height = r.bottom - r.top;
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(dc, bitmap);
        ok = BitBlt(dc, 0, 0, width, height, screen, r.left, r.top, SRCCOPY) != FALSE;
        GdiFlush();
        if (ok) {
            const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
            const DWORD size = stride * static_cast<DWORD>(height);
            BITMAPFILEHEADER head{};
            head.bfType = 0x4D42;
            head.bfOffBits = sizeof head + sizeof info.bmiHeader;
            head.bfSize = head.bfOffBits + size;
            HANDLE out = CreateFileW(Wide(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            DWORD written = 0;
            ok = out != INVALID_HANDLE_VALUE && WriteFile(out, &head, sizeof head, &written, nullptr) &&
                 WriteFile(out, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr) &&
                 WriteFile(out, bits, size, &written, nullptr) && written == size;
            if (out != INVALID_HANDLE_VALUE) ok = CloseHandle(out) && ok;
        }
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
    }
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", file.c_str());
    return ok;
}

// Takes the picture of the first visible dialog (a message box or the file dialog) of this
// process while it waits for its answer, then closes it.
class DialogShot {
public:
    explicit DialogShot(std::string file) : file_(std::move(file)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~DialogShot() { thread_.join(); }
    bool ok() const { return ok_; }

private:
    static BOOL CALLBACK Visit(HWND hwnd, LPARAM self) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        wchar_t cls[32] = {};
        GetClassNameW(hwnd, cls, 32);
        if (pid == GetCurrentProcessId() && std::wstring(cls) == L"#32770" && IsWindowVisible(hwnd)) {
            reinterpret_cast<DialogShot*>(self)->found_ = hwnd;
            return FALSE;
        }
        return TRUE;
    }
    void Run() {
        for (int i = 0; i < 300 && found_ == nullptr; ++i) {
            Sleep(50);
            EnumWindows(Visit, reinterpret_cast<LPARAM>(this));
        }
        if (found_ == nullptr) {
            std::printf("FAILED %s: no dialog appeared\n", file_.c_str());
            return;
        }
        Sleep(1500);  // the file dialog fills its list after it appears
        ok_ = SaveWindow(found_, file_);
        PostMessageW(found_, WM_COMMAND, IDCANCEL, 0);
    }
    std::string file_;
    HWND found_ = nullptr;
    std::atomic<bool> ok_{false};
    std::thread thread_;
};

// The reorganiser's window as its logic leaves it: a path chosen earlier, and in Manager mode
// the data file still held open after the last round.
class SampleReorg : public zq::reorg::IReorgEvents {
public:
    SampleReorg(zq::reorg::IReorgView& v, bool notReady) : view(v), notReady_(notReady) {}
    Flow OnLoad() override {
        view.SetText(Control::txtDatenbank, "\\\\server\\zequora\\Daten\\zqdata.mdb");
        view.SetText(Control::frmZQR, "ZEQUORA - Datendatei Reorganisation 4.1");
        if (notReady_) {
            view.SetVisible(Control::lblFortschritt, true);
            view.SetEnabled(Control::cmdReorg, false);
            view.SetAlignment(Control::lblFortschritt, zq::reorg::Alignment::Right);
            view.SetText(Control::lblFortschritt, "Programm nicht bereit");
        }
        return Flow::Go;
    }
    Flow Deliver(zq::reorg::Event) override { return Flow::Go; }
    zq::reorg::IReorgView& view;

private:
    bool notReady_;
};

// The reorganiser's window shown with its boxes and file dialog belonging to it.
struct ShownReorg {
    explicit ShownReorg(bool notReady) : events(view, notReady) {
        zq::reorg::ApplyDesign(view);
        (void)view.Show(events);
        SendMessageW(view.Tooltip(), TTM_ACTIVATE, FALSE, 0);  // no tip where the pointer happens to be
        Settle(500);
    }
    zq::win32::WinDialogs dialogs;
    zq::win32::WinReorgView view{dialogs};
    SampleReorg events;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: ZQ_Screenshots.exe <folder>\n");
        return 2;
    }
    const std::string out = argv[1];
    CreateDirectoryW(Wide(out).c_str(), nullptr);
    bool ok = SaveWindow(ShownReorg(true).view.Handle(Control::frmZQR), out + "\\win-frmZQR-nicht-bereit.bmp");

    // The plain window, a box and the file dialog of the reorganiser, each modal to it.
    {
        ShownReorg reorg(false);
        ok = SaveWindow(reorg.view.Handle(Control::frmZQR), out + "\\win-frmZQR.bmp") && ok;
        zq::win32::WinDialogs& dialogs = reorg.dialogs;
        {
            DialogShot shot(out + "\\win-messagebox.bmp");
            (void)dialogs.ShowMessage(
                "Aktion abgebrochen.\r\n\r\nMögliche Ursachen: \r\n1) Keine Datendatei 'zqdata.mdb' "
                "angegeben, oder \r\n2) die Datendatei \\\\server\\zequora\\Daten\\zqdata.mdb ist nicht "
                "vorhanden, oder \r\n3) es besteht kein exklusiver Zugriff auf die angegebene Datendatei.",
                "ZEQUORA Datendatei Reorganisation", zq::MsgIcon::Exclamation, zq::MsgButtons::Ok);
            ok = shot.ok() && ok;
        }
        zqwin::TempDir tmp;
        const std::string data = tmp / "Daten";
        CreateDirectoryW(Wide(data).c_str(), nullptr);
        zqwin::WriteBytes(data + "\\zqdata.mdb", "");
        zqwin::WriteBytes(data + "\\zqdata_alt.mdb", "");
        {
            DialogShot shot(out + "\\win-openfile.bmp");
            (void)dialogs.OpenFile("ZEQUORA - Datendatei Reorganisation", "Datenbank", "*.mdb",
                                   data + "\\zqdata.mdb");
            ok = shot.ok() && ok;
        }
    }

    // The update tool's real opening on a sample installation.
    {
        zqwin::TempDir tmp;
        const std::string prog = tmp / "Programm";
        const std::string data = tmp / "Daten";
        for (const std::string& folder : {prog, data, data + "\\UpdStore"}) CreateDirectoryW(Wide(folder).c_str(), nullptr);
        zqwin::WriteBytes(prog + "\\zqm.ini", "[Datendatei]\r\nPfad=" + data + "\r\n");
        zq::win32::WinRegistry registry;
        // The versions the installations recorded (the tool runs in a prefix of its own).
        zq::SaveSetting(registry, "ZEQUORA - Manager 4", "Update", "UpdateVersion", "4.00.7");
        zq::SaveSetting(registry, "ZEQUORA - Manager 4", "Update", "UpdateDate", "14.11.2026 08:12:40");
        zq::SaveSetting(registry, "ZEQUORA - Client 4", "Update", "UpdateVersion", "4.01.1");
        zq::SaveSetting(registry, "ZEQUORA - Client 4", "Update", "UpdateDate", "02.12.2026 16:30:05");
        zq::win32::WinProfile profile;
        zq::win32::WinFiles files;
        zqwin::ProgramAt env(prog + "\\ZQU.exe");
        zqtest::RecordingShell shell;
        zqtest::ScriptedDialogs boxes;
        zqtest::FakeWeb web;
        web.resources["https://updates.example/iupdate.htm"] = "ZQC_Version:4.01.3 ZQM_Version:4.01";
        zq::win32::WinUpdateView view(boxes);
        zqtest::RecordingProcesses processes;
        zqtest::FakeClock clock;
        zq::Platform platform{registry, profile, files, processes, clock, env, shell, boxes, &web};
        zq::update::UpdateContext ctx(platform);
        ctx.glServer.base = "https://updates.example";
        ctx.glServerRead = true;
        zq::update::FrmMain frm(ctx, view);
        frm.FormLoad();
        view.Show(frm);
        SendMessageW(view.Tooltip(), TTM_ACTIVATE, FALSE, 0);
        Settle(500);
        ok = SaveWindow(view.Window(), out + "\\win-frmMain.bmp") && ok;
    }
    return ok ? 0 : 1;
}
