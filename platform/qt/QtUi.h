#pragma once
// Choosing the window toolkit and bringing it up only when something must be shown. Includes
// no toolkit header, so the programs' thin mains can use it.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zq::qt {

// Whether windows and boxes go to Qt: forced by ZEQUORA_UI ("qt" or "console"), otherwise
// Qt when a display is there or a Qt platform is named. Without either Qt would abort.
bool QtWanted();
bool QtWantedFor(std::optional<std::string_view> ui, std::optional<std::string_view> display,
                 std::optional<std::string_view> wayland, std::optional<std::string_view> qpa);

// Qt ends the process when its platform cannot reach the display (an ended remote session,
// a display named in a cron job). This lets a child process bring Qt up first, for at most
// a few seconds, and gives the reason when it cannot; empty when Qt can come up here or
// an application object exists already.
std::string WhyQtCannotStart();
// QtWanted(), and Qt can come up; otherwise the console is used, and when the display was
// the obstacle one line on standard error says so. For programs that link Qt (zqr, zqu).
bool UseQt();

// The application object of one program run, created on first need: a program that shows
// nothing does not pay for it. Declare it before every view and dialog that uses it, so it
// outlives them. An application object made elsewhere (a test's) is used as it is.
class QtApp {
public:
    QtApp(int& argc, char** argv);
    ~QtApp();
    QtApp(const QtApp&) = delete;
    QtApp& operator=(const QtApp&) = delete;

    // Creates the application object when there is none and loads the German standard texts.
    void Ensure();
    // An application object exists (made here or elsewhere).
    bool Started() const;
    // Lets pending input through and redraws; does nothing before anything was shown.
    void ProcessPending();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zq::qt
