#pragma once
// What the tests of frmZQR's rules share, over either harness: the remembered data file, the
// events that are no way out of a wait, and the console window on scripted input.
#include <sstream>
#include <string>
#include <vector>

#include "common/RegistryAccess.h"
#include "platform/console/ConsoleReorgView.h"
#include "reorg/frmZQR/frmZQR.h"

namespace zqtest {

template <class Harness>
std::string Remembered(Harness& h) {
    return zq::GetSetting(h.registry, zq::reorg::kProductName, "Settings", "01", "");
}

inline const std::vector<zq::reorg::Event> kNotTheWayOut{
    zq::reorg::Event::CmdReorgClick, zq::reorg::Event::CmdDatendateiClick,
    zq::reorg::Event::PicDatendateiClick, zq::reorg::Event::TxtDatenbankLostFocus};

// The console view reports its choices to the same logic.
struct ConsoleWindow {
    template <class Harness>
    ConsoleWindow(Harness& h, const std::string& input, const std::string& startParm = "")
        : in(input), view(in, out), ctx(h.platform, view, startParm), window(ctx) {
        zq::reorg::ApplyDesign(view);
    }
    std::istringstream in;
    std::ostringstream out;
    zq::console::ConsoleReorgView view;
    zq::reorg::ReorgContext ctx;
    zq::reorg::FrmZQR window;
};

}  // namespace zqtest
