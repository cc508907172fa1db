#include "platform/qt/QtUi.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdlib>

namespace zq::qt {
namespace {

std::optional<std::string_view> Env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string_view(value);
}

bool Set(std::optional<std::string_view> value) { return value && !value->empty(); }

}  // namespace

bool QtWantedFor(std::optional<std::string_view> ui, std::optional<std::string_view> display,
                 std::optional<std::string_view> wayland, std::optional<std::string_view> qpa) {
    if (ui && *ui == "console") return false;
    if (ui && *ui == "qt") return true;
    return Set(display) || Set(wayland) || Set(qpa);
}

bool QtWanted() {
    return QtWantedFor(Env("ZEQUORA_UI"), Env("DISPLAY"), Env("WAYLAND_DISPLAY"),
                       Env("QT_QPA_PLATFORM"));
}

struct QtApp::Impl {
    int& argc;
    char** argv;
    std::unique_ptr<QApplication> app;
    std::unique_ptr<QTranslator> translator;
};

QtApp::QtApp(int& argc, char** argv) : impl_(new Impl{argc, argv, nullptr, nullptr}) {}

QtApp::~QtApp() {
    if (impl_->translator && QCoreApplication::instance()) {
        QCoreApplication::removeTranslator(impl_->translator.get());
    }
    impl_->translator.reset();
    impl_->app.reset();
}

void QtApp::Ensure() {
    if (QCoreApplication::instance() == nullptr) {
        impl_->app = std::make_unique<QApplication>(impl_->argc, impl_->argv);
        // The programs decide themselves when they end; hiding the last window must not
        // break off the loops of message boxes still to come.
        QApplication::setQuitOnLastWindowClosed(false);
    }
    if (!impl_->translator) {
        // The programs speak German whatever the desktop's language: standard buttons and
        // the file dialog take their texts from Qt's German catalogue where it is installed.
        impl_->translator = std::make_unique<QTranslator>();
        if (impl_->translator->load(QStringLiteral("qtbase_de"),
                                    QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(impl_->translator.get());
        }
    }
}

bool QtApp::Started() const { return QCoreApplication::instance() != nullptr; }

void QtApp::ProcessPending() {
    if (Started()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace zq::qt
