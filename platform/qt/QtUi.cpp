#include "platform/qt/QtUi.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace zq::qt {
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
