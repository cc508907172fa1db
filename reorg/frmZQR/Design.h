#pragma once
// The window frmZQR as designed, once for every view: the client area and the controls'
// rectangles in twips (1440 to the inch), the fonts and the start button's colour. The views
// only convert and draw.
#include <cstddef>

#include "reorg/frmZQR/ReorgView.h"

namespace zq::reorg::design {

struct TwipRect {
    int left, top, width, height;
};

inline constexpr int kClientWidth = 6630;
inline constexpr int kClientHeight = 1980;

inline constexpr TwipRect Rect(Control control) {
    switch (control) {
        case Control::frmZQR: return {0, 0, kClientWidth, kClientHeight};
        case Control::picDatendatei: return {6130, 645, 240, 240};
        case Control::cmdEnde: return {210, 1200, 3060, 495};
        case Control::cmdReorg: return {3360, 1200, 3060, 495};
        case Control::txtDatenbank: return {210, 615, 5805, 315};
        case Control::cmdDatendatei: return {6090, 615, 315, 315};
        case Control::lblFortschritt: return {3420, 360, 2595, 255};
        case Control::lblDatendatei: return {240, 345, 5970, 255};
    }
    return {};
}

// The waiting sign of long steps, below the buttons: a text and a bar.
inline constexpr TwipRect kBusyText{210, 1740, 3060, 210};
inline constexpr TwipRect kBusyBar{3360, 1770, 3060, 150};
// The folder image drawn over cmdDatendatei, square.
inline constexpr int kPictureSize = 240;

// Arial, bold: the buttons' font and the smaller one of the path field and its caption.
inline constexpr const char* kFontFace = "Arial";
inline constexpr double kButtonFontPoints = 9.75;
inline constexpr double kFieldFontPoints = 8.25;

// The start button's face: the design's flat light green.
struct Rgb {
    int red, green, blue;
};
inline constexpr Rgb kStartGreen{128, 255, 128};

// Twips to pixels at dpi, rounded to the nearest pixel.
inline constexpr int TwipsToPixels(int twips, int dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>((scaled + (scaled >= 0 ? 720 : -720)) / 1440);
}

}  // namespace zq::reorg::design
