#pragma once
// Offscreen Qt for the view tests: one application object for the test program, and an
// answerer that works the modal boxes and file dialogs the code under test opens.
#include <QMessageBox>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace zq::qt {
class QtApp;
}

namespace zqtest {

// Sets up the offscreen platform (its own runtime folder, a time-out) and the application
// object on first use; the same one for every test.
zq::qt::QtApp& GuiApp();

struct SeenBox {
    std::string title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    std::vector<std::string> buttons;  // labels in order
    std::string defaultButton;
    bool applicationModal = false;
    bool plainText = false;
};

struct SeenFileDialog {
    std::string title, folder;
    std::vector<std::string> filters;
    std::string defaultSuffix;
    bool stayedOpen = false;  // the accept button did not close it
};

// Answers every modal box or dialog as it appears, with a timer that ticks every 10 ms while
// the code under test waits in the box's own loop. A box without a scripted answer is
// recorded as unexpected and closed with Escape, so no test can hang on it.
class ModalAnswerer {
public:
    ModalAnswerer();
    ~ModalAnswerer();

    // The next message box: click the button with this label ("" closes it with Escape).
    void AnswerBox(const std::string& label) { boxAnswers_.push_back(label); }
    // The next file dialog: type this name into its file-name field, then click the accept
    // button (open) or the cancel button.
    void AnswerFile(const std::string& typed, bool open) { fileAnswers_.push_back({typed, open}); }

    std::vector<SeenBox> boxes;
    std::vector<SeenFileDialog> fileDialogs;
    std::vector<std::string> unexpected;
    bool AllUsed() const { return boxAnswers_.empty() && fileAnswers_.empty(); }
    // Boxes beyond the scripted answers take their default button instead of counting as
    // unexpected (for runs whose questions are not the point of the test).
    bool takeDefaults = false;
    // Called on every tick while no box or dialog is open.
    std::function<void()> idle;

private:
    struct FileAnswer {
        std::string typed;
        bool open;
    };
    void Tick();

    QTimer timer_;
    std::deque<std::string> boxAnswers_;
    std::deque<FileAnswer> fileAnswers_;
};

}  // namespace zqtest
