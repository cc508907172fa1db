#include "common/Trace.h"

namespace zq {

std::string LabelLine(const std::string& label, const std::string& value, int width) {
    std::string line = label;
    if (static_cast<int>(line.size()) < width) line.append(static_cast<std::size_t>(width) - line.size(), ' ');
    return line + ": " + value;
}

std::string SectionLine(const std::string& name) { return "*** " + name + " ***"; }

TraceLog::TraceLog(IFiles& files, std::string path, int labelWidth)
    : files_(files), path_(std::move(path)), width_(labelWidth) {}

bool TraceLog::OpenOutput() {
    Close();
    file_ = files_.OpenText(path_, false);
    atStart_ = true;
    if (!file_) failed_ = true;
    return file_ != nullptr;
}

bool TraceLog::OpenAppend() {
    Close();
    file_ = files_.OpenText(path_, true);
    atStart_ = false;
    if (!file_) failed_ = true;
    return file_ != nullptr;
}

void TraceLog::Close() {
    if (file_ && !file_->Close()) failed_ = true;
    file_.reset();
}

void TraceLog::Line(const std::string& text) {
    atStart_ = false;
    if (file_ && !file_->Write(text + "\r\n")) failed_ = true;
}

void TraceLog::Empty() { Line(""); }

void TraceLog::Section(const std::string& name) {
    if (!atStart_) Line("");
    Line(SectionLine(name));
}

void TraceLog::Label(const std::string& label, const std::string& value) {
    Line(LabelLine(label, value, width_));
}

void TraceLog::Label(const std::string& label, const std::string& value, int width) {
    Line(LabelLine(label, value, width));
}

void TraceLog::Free(const std::string& text) { Line(text); }

}  // namespace zq
