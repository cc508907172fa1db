// Kept apart from the toolkit code: a program that only asks which toolkit to use must not
// load the toolkit's libraries for it.
#include <cstdlib>

#include "platform/qt/QtUi.h"

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

}  // namespace zq::qt
