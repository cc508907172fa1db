#pragma once
// The logic of the update tool's window: what happens while it opens and on each button.
#include <string>
#include <string_view>

#include "update/UpdateContext.h"
#include "update/frmMain/MainView.h"

namespace zq::update {

class FrmMain {
public:
    FrmMain(UpdateContext& ctx, IMainView& view);

    // Loads the window, shows it and handles clicks until it is closed.
    void Run();

    // Everything done while the window opens.
    void FormLoad();
    // Dispatches a click by control name; unknown names are ignored.
    void Click(std::string_view control);

    void CmdDownloadZQMClick();
    void CmdDownloadZQCClick();
    void CmdHistorieClick();
    void CmdExplorerClick();
    void CmdOKClick();

private:
    struct Failure {
        long number = 0;
        std::string text;
    };

    void SetDesignCaptions();
    void FindDataFolder();
    void ShowRecordedVersions();
    // Temporary files of downloads that were killed, in the update folder.
    void RemoveLeftovers();
    void ReadNewestVersions();
    void DownloadPart(ProductPart part);
    void ReportDownload(ProductPart part, bool ok, const Failure& failure);
    // Empty when the received installer at path is a complete Windows program file with the
    // checksum the version page names; otherwise why it is refused.
    std::string CheckInstaller(const std::string& path, const PageChecksum& sum);
    void ExploreFolder(const std::string& folder);
    void CloseWindow();
    // Why no address on the update server can be formed.
    std::string NoServerText() const;

    UpdateContext& ctx_;
    IMainView& view_;
};

// The installer's file name and the resource on the server for a part.
std::string InstallerFile(ProductPart part);
std::string InstallerResource(ProductPart part);

}  // namespace zq::update
