// Renders the reorganiser's window, the update tool's window and one message box on the
// offscreen platform into PNG files, for the documentation: zq_screenshots <folder>.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/RegistryAccess.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixEnvironment.h"
#include "platform/posix/PosixFiles.h"
#include "platform/posix/PosixProcesses.h"
#include "platform/posix/PosixShell.h"
#include "platform/posix/ProfileFiles.h"
#include "platform/posix/RegistryStore.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtReorgView.h"
#include "platform/qt/QtUi.h"
#include "platform/qt/QtUpdateView.h"
#include "reorg/frmZQR/frmZQR.h"
#include "update/UpdateContext.h"
#include "update/frmMain/frmMain.h"

namespace {

namespace fs = std::filesystem;
using zq::reorg::Control;
using zq::reorg::Flow;

QWidget* TopLevel(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String(name) && w->isVisible()) return w;
    }
    return nullptr;
}

bool Save(QWidget* w, const std::string& file) {
    if (w == nullptr) return false;
    QApplication::processEvents();
    const bool ok = w->grab().save(QString::fromStdString(file), "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", file.c_str());
    return ok;
}

// The reorganiser's window as a start by the Manager leaves it when the file is free.
class SampleReorg : public zq::reorg::IReorgEvents {
public:
    explicit SampleReorg(zq::reorg::IReorgView& v) : view(v) {}
    Flow OnLoad() override {
        view.SetText(Control::txtDatenbank, "/srv/zequora/daten/zqdata.mdb");
        view.SetText(Control::frmZQR, "ZEQUORA - Datendatei Reorganisation 4.1");
        view.SetVisible(Control::lblFortschritt, true);
        view.SetText(Control::lblFortschritt, "Programm bereit");
        view.SetAlignment(Control::lblFortschritt, zq::reorg::Alignment::Right);
        return Flow::Go;
    }
    Flow Deliver(zq::reorg::Event event) override {
        return event == zq::reorg::Event::CmdEndeClick || event == zq::reorg::Event::Close ? Flow::End
                                                                                           : Flow::Go;
    }
    zq::reorg::IReorgView& view;
};

class ProgramIn : public zq::posix::PosixEnvironment {
public:
    explicit ProgramIn(std::string path) : path_(std::move(path)) {}
    std::string ProgramPath() override { return path_; }

private:
    std::string path_;
};

// The version page as the update server would give it.
class SamplePage : public zq::IWeb {
public:
    std::optional<std::string> FetchText(const std::string&, std::size_t, const Progress&) override {
        return std::string("ZQC_Version:4.01.3 ZQM_Version:4.01");
    }
    zq::DownloadResult Download(const std::string&, const std::string&, const Progress&,
                                const Check&) override {
        return {};
    }
};

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: zq_screenshots <folder>\n");
        return 2;
    }
    const std::string out = argv[1];
    fs::create_directories(out);
    zq::qt::QtApp app(argc, argv);
    app.Ensure();
    bool ok = true;

    {
        zq::qt::QtReorgView view(app);
        SampleReorg events(view);
        zq::reorg::ApplyDesign(view);
        (void)view.Show(events);
        ok = Save(TopLevel("frmZQR"), out + "/frmZQR.png") && ok;
    }

    // The update tool's real opening on a sample installation in a temporary folder.
    const fs::path tmp = fs::temp_directory_path() / "zequora-beispiel";
    std::error_code ec;
    fs::remove_all(tmp, ec);
    fs::create_directories(tmp / "prog");
    fs::create_directories(tmp / "daten" / "UpdStore");
    WriteText((tmp / "prog/zqm.ini").string(),
              "[Datendatei]\r\nPfad=" + (tmp / "daten").string() + "\r\n");
    WriteText((tmp / "prog/zqu.ini").string(), "[Server]\r\nAdresse=https://updates.example\r\n");
    {
        zq::posix::RegistryStore reg((tmp / "reg").string());
        zq::SaveSetting(reg, "ZEQUORA - Manager 4", "Update", "UpdateVersion", "4.00.7");
        zq::SaveSetting(reg, "ZEQUORA - Manager 4", "Update", "UpdateDate", "14.11.2026 08:12:40");
        zq::SaveSetting(reg, "ZEQUORA - Client 4", "Update", "UpdateVersion", "4.01.1");
        zq::SaveSetting(reg, "ZEQUORA - Client 4", "Update", "UpdateDate", "02.12.2026 16:30:05");
        zq::posix::ProfileFiles profile;
        zq::posix::PosixFiles files;
        ProgramIn env((tmp / "prog/zqu").string());
        zq::posix::PosixShell shell;
        zq::qt::QtDialogs dialogs(app);
        SamplePage web;
        zq::qt::QtUpdateView view(app);
        zq::posix::PosixProcesses processes;
        zq::posix::PosixClock clock;
        zq::Platform platform{reg, profile, files, processes, clock, env, shell, dialogs, &web};
        zq::update::UpdateContext ctx(platform);
        zq::update::FrmMain frm(ctx, view);
        frm.FormLoad();
        QTimer::singleShot(0, [&] {
            ok = Save(TopLevel("frmMain"), out + "/frmMain.png") && ok;
            view.Close();
        });
        view.Run(frm);

        // A question box of the update tool, taken while it waits for the answer.
        QTimer shot;
        QObject::connect(&shot, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible()) return;
            shot.stop();
            ok = Save(box, out + "/messagebox.png") && ok;
            box->done(0);
        });
        shot.start(50);
        (void)dialogs.ShowMessage(
            "Update-Datei 'zqmupd.exe' ist im Verzeichnis '/srv/zequora/daten/UpdStore/' bereits "
            "vorhanden.\r\n\r\nDownload trotzdem starten und Datei überschreiben?",
            "ZEQUORA Update  -  4.01", zq::MsgIcon::Question, zq::MsgButtons::YesNoCancel);
    }
    fs::remove_all(tmp, ec);
    return ok ? 0 : 1;
}
