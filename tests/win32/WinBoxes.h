#pragma once
// Message boxes of a program under test, seen from the test under Wine: whether a display is
// there to show them, and a helper that answers them in order through their windows.
#include <windows.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/WinText.h"

namespace zqwin {

inline bool HaveDisplay() {
    wchar_t value[64] = {};
    return GetEnvironmentVariableW(L"DISPLAY", value, 64) > 0 && value[0] != L'\0';
}

// Answers the message boxes the program shows, in order, by clicking a button of each, and
// keeps their titles and texts.
class BoxAnswers {
public:
    struct Box {
        std::string title, text;
    };
    explicit BoxAnswers(std::vector<int> buttons) : buttons_(buttons.begin(), buttons.end()) {
        thread_ = std::thread([this] { Run(); });
    }
    ~BoxAnswers() {
        stop_ = true;
        thread_.join();
    }
    std::vector<Box> Seen() {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }
    // Waits until count boxes were answered; false when the time is up first.
    bool WaitSeen(std::size_t count, int ms) {
        for (int waited = 0;; waited += 20) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (seen_.size() >= count) return true;
            }
            if (waited >= ms) return false;
            Sleep(20);
        }
    }

private:
    static BOOL CALLBACK Visit(HWND hwnd, LPARAM self) {
        wchar_t cls[32] = {};
        GetClassNameW(hwnd, cls, 32);
        if (std::wstring(cls) == L"#32770" && IsWindowVisible(hwnd))
            reinterpret_cast<BoxAnswers*>(self)->found_ = hwnd;
        return TRUE;
    }
    void Run() {
        while (!stop_) {
            found_ = nullptr;
            EnumWindows(Visit, reinterpret_cast<LPARAM>(this));
            if (found_ != nullptr && found_ != last_) {
                wchar_t title[256] = {}, text[4096] = {};
                GetWindowTextW(found_, title, 256);
                GetDlgItemTextW(found_, 0xFFFF, text, 4096);
                int button = IDCANCEL;
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    seen_.push_back({zq::win32::Utf8(std::wstring(title)), zq::win32::Utf8(std::wstring(text))});
                    if (!buttons_.empty()) {
                        button = buttons_.front();
                        buttons_.pop_front();
                    }
                }
                last_ = found_;
                PostMessageW(found_, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
            }
            Sleep(30);
        }
    }

    std::deque<int> buttons_;
    std::vector<Box> seen_;
    std::mutex mutex_;
    std::atomic<bool> stop_{false};
    HWND found_ = nullptr;
    HWND last_ = nullptr;
    std::thread thread_;
};

}  // namespace zqwin
