#include "gui/GuiSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/qt/QtUi.h"

namespace zqtest {

zq::qt::QtApp& GuiApp() {
    // Never destroyed: the application object must not outlive the toolkit's own statics,
    // which go first at the end of the process.
    static zq::qt::QtApp* app = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("QTEST_FUNCTION_TIMEOUT", "60000", 1);
        static std::string runtime =
            (std::filesystem::temp_directory_path() / "zq-gui-XXXXXX").string();
        if (::mkdtemp(runtime.data()) != nullptr) {
            std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
            ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
            std::atexit([] {
                std::error_code ec;
                std::filesystem::remove_all(runtime, ec);
            });
        }
        static int argc = 1;
        static char name[] = "test_gui";
        static char* argv[] = {name, nullptr};
        // The offscreen platform remarks on every window it cannot raise; keep the rest.
        static QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
                if (message.startsWith(QLatin1String("This plugin does not support"))) return;
                if (previous) previous(type, context, message);
            });
        auto* made = new zq::qt::QtApp(argc, argv);
        made->Ensure();
        return made;
    }();
    return *app;
}

ModalAnswerer::ModalAnswerer() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    timer_.start(10);
}

ModalAnswerer::~ModalAnswerer() { timer_.stop(); }

void ModalAnswerer::Tick() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) {
        if (idle) idle();
        return;
    }

    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        if (box->property("zqAnswered").toBool()) return;  // closing
        box->setProperty("zqAnswered", true);
        SeenBox seen;
        seen.title = box->windowTitle().toStdString();
        seen.text = box->text().toStdString();
        seen.icon = box->icon();
        // In the order they are seen, left to right.
        QList<QAbstractButton*> shown = box->buttons();
        std::sort(shown.begin(), shown.end(), [](QAbstractButton* a, QAbstractButton* b) {
            return a->mapToGlobal(QPoint(0, 0)).x() < b->mapToGlobal(QPoint(0, 0)).x();
        });
        for (QAbstractButton* b : shown) seen.buttons.push_back(b->text().toStdString());
        if (box->defaultButton()) seen.defaultButton = box->defaultButton()->text().toStdString();
        seen.applicationModal = box->windowModality() == Qt::ApplicationModal;
        seen.plainText = box->textFormat() == Qt::PlainText;
        boxes.push_back(seen);
        if (boxAnswers_.empty() && takeDefaults && box->defaultButton() != nullptr) {
            QTest::mouseClick(box->defaultButton(), Qt::LeftButton);
            return;
        }
        if (boxAnswers_.empty()) {
            unexpected.push_back("box: " + seen.text);
            QTest::keyClick(box, Qt::Key_Escape);
            return;
        }
        const std::string answer = boxAnswers_.front();
        boxAnswers_.pop_front();
        if (answer.empty()) {
            QTest::keyClick(box, Qt::Key_Escape);
            return;
        }
        for (QAbstractButton* b : box->buttons()) {
            if (b->text().toStdString() == answer) {
                QTest::mouseClick(b, Qt::LeftButton);
                return;
            }
        }
        unexpected.push_back("no button " + answer);
        QTest::keyClick(box, Qt::Key_Escape);
        return;
    }

    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        if (!dialog->property("zqAnswered").toBool()) {
            dialog->setProperty("zqAnswered", true);
            SeenFileDialog seen;
            seen.title = dialog->windowTitle().toStdString();
            seen.folder = dialog->directory().absolutePath().toStdString();
            for (const QString& f : dialog->nameFilters()) seen.filters.push_back(f.toStdString());
            seen.defaultSuffix = dialog->defaultSuffix().toStdString();
            fileDialogs.push_back(seen);
            if (fileAnswers_.empty() || buttons == nullptr) {
                unexpected.push_back("file dialog");
                dialog->reject();
                return;
            }
            const FileAnswer answer = fileAnswers_.front();
            fileAnswers_.pop_front();
            dialog->setProperty("zqOpen", answer.open);
            if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
                // Put in whole: typed key by key, the dialog's inline completion would add
                // to the name.
                name->setFocus();
                name->setText(QString::fromStdString(answer.typed));
            }
        }
        // The dialog checks the typed name against its folder listing, which it reads in the
        // background: give it up to a second before taking a disabled button as a refusal.
        const int ticks = dialog->property("zqTicks").toInt() + 1;
        dialog->setProperty("zqTicks", ticks);
        QPushButton* target = buttons->button(dialog->property("zqOpen").toBool()
                                                  ? QDialogButtonBox::Open
                                                  : QDialogButtonBox::Cancel);
        if (target == nullptr) {
            unexpected.push_back("file dialog without its button");
            dialog->reject();
        } else if (target->isEnabled() && !dialog->property("zqClicked").toBool()) {
            dialog->setProperty("zqClicked", true);
            QTest::mouseClick(target, Qt::LeftButton);
        } else if (ticks > 100) {
            fileDialogs.back().stayedOpen = true;
            dialog->reject();
        }
        return;
    }

    unexpected.push_back(std::string("modal ") + modal->metaObject()->className());
    modal->close();
}

}  // namespace zqtest
