#pragma once
// The trace log of one program run: empty lines, section headers, label lines padded to the
// program's width, free lines; CR LF after every line. A trace that cannot be created or
// written leaves the program running without it, and Failed() tells the run's end so that
// the exit code does not claim a complete record.
#include <memory>
#include <string>

#include "platform/Files.h"

namespace zq {

inline constexpr int kReorgLabelWidth = 17;
inline constexpr int kStarterLabelWidth = 19;

// "label" padded with blanks to width, then ": " and the value. Longer labels are not cut.
std::string LabelLine(const std::string& label, const std::string& value, int width);
std::string SectionLine(const std::string& name);  // "*** name ***"

class TraceLog {
public:
    TraceLog(IFiles& files, std::string path, int labelWidth);

    bool OpenOutput();  // replaces an earlier file
    bool OpenAppend();
    void Close();
    bool IsOpen() const { return file_ != nullptr; }
    // Some open, write or close of this trace failed since it was constructed.
    bool Failed() const { return failed_; }
    const std::string& Path() const { return path_; }
    int Width() const { return width_; }

    void Empty();
    // Preceded by an empty line, except as the very first line of a new file.
    void Section(const std::string& name);
    void Label(const std::string& label, const std::string& value);
    void Label(const std::string& label, const std::string& value, int width);
    void Free(const std::string& text);

    // Generic labels.
    void Result(const std::string& value) { Label("Result", value); }
    void Error(const std::string& value) { Label("Error", value); }

private:
    void Line(const std::string& text);

    IFiles& files_;
    std::string path_;
    int width_;
    std::unique_ptr<ITextFile> file_;
    bool atStart_ = false;
    bool failed_ = false;
};

}  // namespace zq
