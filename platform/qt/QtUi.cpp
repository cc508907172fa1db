#include "platform/qt/QtUi.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace zq::qt {

namespace {

// A display that answers at all answers within this time.
constexpr auto kProbeTime = std::chrono::seconds(5);

// In the child: brings the platform up and ends. What Qt says goes to out; a fatal message
// ends the child at once instead of aborting it (no core file).
[[noreturn]] void ProbeChild(int out) {
    if (::dup2(out, STDERR_FILENO) < 0) ::_exit(4);
    ::close(out);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        const QByteArray line = message.toLocal8Bit() + '\n';
        if (::write(STDERR_FILENO, line.constData(), static_cast<std::size_t>(line.size())) < 0) {
            // Nothing left to tell it to.
        }
        if (type == QtFatalMsg) ::_exit(3);
    });
    int argc = 1;
    char name[] = "zequora-display-test";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    ::_exit(0);
}

}  // namespace

std::string WhyQtCannotStart() {
    if (QCoreApplication::instance() != nullptr) return "";
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return std::string("no pipe: ") + std::strerror(errno);
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int err = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        return std::string("no child process: ") + std::strerror(err);
    }
    if (pid == 0) {
        ::close(fds[0]);
        ProbeChild(fds[1]);
    }
    ::close(fds[1]);
    std::string said;
    bool late = false;
    const auto deadline = std::chrono::steady_clock::now() + kProbeTime;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            late = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        char buf[1024];
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // the child has ended
        if (said.size() < 4096) said.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    if (late) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (late) return "the display gives no answer";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
    // Qt's first line names the display it could not reach.
    const std::string first = said.substr(0, said.find('\n'));
    if (!first.empty()) return first;
    return WIFSIGNALED(status) ? "Qt ended with signal " + std::to_string(WTERMSIG(status))
                               : "Qt ended with code " + std::to_string(WEXITSTATUS(status));
}

bool UseQt() {
    if (!QtWanted()) return false;
    const std::string why = WhyQtCannotStart();
    if (why.empty()) return true;
    std::fprintf(stderr, "Qt-Fenster nicht verfügbar (%s), Ausgabe im Terminal.\n", why.c_str());
    return false;
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
