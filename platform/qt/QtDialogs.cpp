#include "platform/qt/QtDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/qt/QtUi.h"

namespace zq::qt {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QMessageBox::Icon BoxIcon(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Stop: return QMessageBox::Critical;
        case MsgIcon::Exclamation: return QMessageBox::Warning;
        case MsgIcon::Information: return QMessageBox::Information;
        case MsgIcon::Question: return QMessageBox::Question;
        case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonSpec {
    QMessageBox::StandardButton standard;
    const char* label;  // as on a German desktop
    MsgResult result;
};

std::vector<ButtonSpec> ButtonsOf(MsgButtons buttons) {
    const ButtonSpec ok{QMessageBox::Ok, "OK", MsgResult::Ok};
    const ButtonSpec yes{QMessageBox::Yes, "&Ja", MsgResult::Yes};
    const ButtonSpec no{QMessageBox::No, "&Nein", MsgResult::No};
    const ButtonSpec cancel{QMessageBox::Cancel, "Abbrechen", MsgResult::Cancel};
    switch (buttons) {
        case MsgButtons::YesNoCancel: return {yes, no, cancel};
        case MsgButtons::YesNo: return {yes, no};
        case MsgButtons::Ok: break;
    }
    return {ok};
}

// What closing the box without a button means: the way out that takes no decision.
MsgResult ClosedAnswer(MsgButtons buttons) {
    switch (buttons) {
        case MsgButtons::YesNoCancel: return MsgResult::Cancel;
        case MsgButtons::YesNo: return MsgResult::No;
        case MsgButtons::Ok: break;
    }
    return MsgResult::Ok;
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path, ec);
}

}  // namespace

std::string BoxText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string DialogStartFolder(const std::string& initial,
                              const std::function<bool(const std::string&)>& isFolder) {
    if (initial.empty()) return {};
    if (isFolder(initial)) return initial;
    const auto slash = initial.find_last_of('/');
    if (slash == std::string::npos) return {};
    const std::string folder = slash == 0 ? std::string("/") : initial.substr(0, slash);
    return isFolder(folder) ? folder : std::string();
}

MsgResult QtDialogs::ShowMessage(const std::string& text, const std::string& title, MsgIcon icon,
                                MsgButtons buttons, int defaultButton) {
    app_.Ensure();
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(Q(title));
    // Paths and values from files are shown as they are, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(Q(BoxText(text)));
    box.setIcon(BoxIcon(icon));
    box.setWindowModality(Qt::ApplicationModal);

    const std::vector<ButtonSpec> specs = ButtonsOf(buttons);
    std::vector<QAbstractButton*> made;
    for (const ButtonSpec& spec : specs) {
        QPushButton* button = box.addButton(spec.standard);
        button->setText(QString::fromUtf8(spec.label));
        made.push_back(button);
    }
    const std::size_t chosen =
        defaultButton >= 0 && static_cast<std::size_t>(defaultButton) < made.size()
            ? static_cast<std::size_t>(defaultButton)
            : 0;
    box.setDefaultButton(static_cast<QPushButton*>(made[chosen]));
    box.exec();

    QAbstractButton* clicked = box.clickedButton();
    for (std::size_t i = 0; i < made.size(); ++i) {
        if (made[i] == clicked) return specs[i].result;
    }
    return ClosedAnswer(buttons);
}

std::optional<std::string> QtDialogs::OpenFile(const std::string& title,
                                               const std::string& filterName,
                                               const std::string& filterPattern,
                                               const std::string& initialFolder) {
    app_.Ensure();
    QFileDialog dialog(QApplication::activeWindow(), Q(title),
                       Q(DialogStartFolder(initialFolder, IsFolder)));
    // Qt's own dialog looks and behaves the same on every desktop.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);  // the file and its path must exist
    dialog.setNameFilter(Q(filterName) + QStringLiteral(" (") + Q(filterPattern) +
                         QStringLiteral(")"));
    std::string suffix = filterPattern;
    if (suffix.rfind("*.", 0) == 0) suffix.erase(0, 2);
    if (!suffix.empty() && suffix.find_first_of("*?; ") == std::string::npos) {
        dialog.setDefaultSuffix(Q(suffix));
    }
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
    return files.front().toStdString();
}

}  // namespace zq::qt
