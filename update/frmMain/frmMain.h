#pragma once
// The logic of the update tool's window: what happens while it opens and on each button.
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "update/UpdateContext.h"
#include "update/frmMain/MainView.h"

namespace zq::update {

// Builds the web access for the configured server's CA file (empty: the system's store).
using WebMaker = std::function<std::unique_ptr<IWeb>(const std::string& caFile)>;

// One whole run of the tool with the window given: reads zqu.ini, builds the web access when
// a server is configured, runs the window; the exit code it ends with.
int RunUpdateTool(Platform& platform, IMainView& view, const WebMaker& makeWeb);

class FrmMain : public IMainEvents {
public:
    FrmMain(UpdateContext& ctx, IMainView& view);

    // Loads the window, shows it and handles its events until it is closed.
    void Run();

    // Everything done while the window opens.
    void FormLoad();
    // Every event of the window, from every view. While the window opens or a click is at
    // work, no click is taken; closing is taken while the window opens, but a click at work
    // (a download, its questions) finishes first.
    bool Deliver(const MainEvent& event) override;
    // A click by control name, delivered as the view would; unknown names are ignored.
    void Click(std::string_view control) { (void)Deliver({MainEvent::Kind::Click, control}); }

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

    void Dispatch(std::string_view control);

    UpdateContext& ctx_;
    IMainView& view_;
    bool loading_ = false;  // FormLoad at work
    int handlers_ = 0;      // clicks at work
};

// The installer's file name and the resource on the server for a part.
std::string InstallerFile(ProductPart part);
std::string InstallerResource(ProductPart part);

}  // namespace zq::update
