#pragma once
// The update tool's end-to-end scenarios, written once: each platform's test derives its
// fixture from Installation (a temporary installation against a local HTTPS server, and how it
// drives the real program's window and answers its boxes) and runs them, adding what only it
// can check.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/Scenario.h"

namespace zqtest::zqu {

// What a user does, in order: a button of the window (Folder: the one that opens the update
// folder), or the answer to the next box.
enum class Act { DownloadManager, DownloadClient, History, Folder, Yes, No, Cancel, Ok };
inline bool IsAnswer(Act a) { return a == Act::Yes || a == Act::No || a == Act::Cancel || a == Act::Ok; }
inline zq::MsgResult AnswerOf(Act a) {
    return a == Act::Yes ? zq::MsgResult::Yes : a == Act::No ? zq::MsgResult::No
           : a == Act::Cancel ? zq::MsgResult::Cancel : zq::MsgResult::Ok;
}

struct Part {
    std::string current, recorded, date;  // as the window shows them
};

struct Run : ScenarioRun {
    Part manager, client;
    std::string folder;         // the update folder the window names
    bool closedItself = false;  // the window was gone before it was closed
};

// A server that makes a download fail, and what the failure box says of it.
struct Failure {
    std::string address;
    bool trusted = true;  // the test's authority is named in zqu.ini
    std::string told;
};

class Installation {
public:
    virtual ~Installation() = default;
    virtual std::string Store() = 0;  // the update folder, ending in a separator
    virtual std::string Base() = 0;   // the address of the version page's folder
    // The bytes of a file the server offers.
    virtual std::string Served(const std::string& name) = 0;
    virtual void UseServer(const std::string& address, bool trusted) = 0;
    virtual void Write(const std::string& path, const std::string& bytes) = 0;  // its folder made
    virtual std::string Read(const std::string& path) = 0;
    virtual bool Exists(const std::string& path) = 0;
    virtual std::vector<std::string> StoreFiles() = 0;  // hidden ones too, sorted
    // What the shell was last asked to open, "" when nothing within waitMs; forgotten then.
    virtual std::string Opened(int waitMs) = 0;
    virtual std::vector<Failure> Failures() = 0;
    // Starts the program, does the acts and closes the window when it is still there.
    virtual Run Start(const std::vector<Act>& acts) = 0;

    void OldInstaller(const std::string& text) { Write(Store() + "zqmupd.exe", text); }
};

inline void ShowsRecordedAndNewestVersionsAndOpensTheHistory(Installation& in) {
    const Run r = in.Start({Act::History});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.folder, in.Store());
    EXPECT_EQ(r.manager.current, "3.05.0");
    EXPECT_EQ(r.manager.recorded, "3.04.2");
    EXPECT_EQ(r.manager.date, "01.02.2025");
    EXPECT_EQ(r.client.current, "3.23.1");
    EXPECT_EQ(r.client.recorded, "---");
    EXPECT_EQ(r.client.date, "---");
    EXPECT_EQ(in.Opened(10000), in.Base() + "/download/update.txt");
    if (r.boxes) {
        EXPECT_TRUE(r.boxes->empty());
    }
}

inline void DownloadsBothPartsThroughTheOfferAndCloses(Installation& in) {
    const Run r = in.Start({Act::DownloadManager, Act::Yes, Act::Ok});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.closedItself) << "the window closes after the second success";
    EXPECT_TRUE(in.Read(in.Store() + "zqmupd.exe") == in.Served("zqmupd.exe"));
    EXPECT_TRUE(in.Read(in.Store() + "zqcupd.exe") == in.Served("zqcupd.exe"));
    EXPECT_EQ(in.StoreFiles(), (std::vector<std::string>{"zqcupd.exe", "zqmupd.exe"}));
    EXPECT_EQ(in.Opened(10000), in.Store()) << "the update folder is opened";
    if (!r.boxes) return;
    ASSERT_EQ(r.boxes->size(), 2u);
    EXPECT_EQ((*r.boxes)[0].title, "ZEQUORA Update  -  4.01");
    EXPECT_NE((*r.boxes)[0].text.find("Wollen Sie nun auch gleich den anderen Programmteil herunterladen?"),
              std::string::npos)
        << (*r.boxes)[0].text;
    EXPECT_EQ((*r.boxes)[1].text, "Download erfolgreich ausgeführt.");
}

// No keeps the installer and asks nothing more; Yes replaces it; Cancel at the offer of the
// other part keeps the window.
inline void OverwriteQuestionAnsweredEachWayAndTheOfferCancelled(Installation& in) {
    in.OldInstaller("old");
    const Run r = in.Start({Act::DownloadManager, Act::No, Act::DownloadManager, Act::Yes, Act::Cancel});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_FALSE(r.closedItself);
    EXPECT_TRUE(in.Read(in.Store() + "zqmupd.exe") == in.Served("zqmupd.exe"));
    EXPECT_EQ(in.StoreFiles(), std::vector<std::string>{"zqmupd.exe"});
    EXPECT_EQ(in.Opened(1000), "") << "nothing was opened";
    if (!r.boxes) return;
    ASSERT_EQ(r.boxes->size(), 3u);
    for (int i : {0, 1}) {
        EXPECT_NE((*r.boxes)[i].text.find("Update-Datei 'zqmupd.exe' ist im Verzeichnis '" + in.Store() +
                                          "' bereits vorhanden."),
                  std::string::npos)
            << (*r.boxes)[i].text;
        EXPECT_NE((*r.boxes)[i].text.find("Download trotzdem starten und Datei überschreiben?"), std::string::npos);
    }
    EXPECT_NE((*r.boxes)[2].text.find("Wollen Sie nun auch gleich"), std::string::npos) << (*r.boxes)[2].text;
}

// Each failure is told in German with a number that means something, the exit code says it,
// and the old installer stays with nothing half-done beside it.
inline void EachFailureIsToldAndLeavesTheOldInstaller(Installation& in) {
    for (const Failure& f : in.Failures()) {
        SCOPED_TRACE(f.address);
        in.UseServer(f.address, f.trusted);
        in.OldInstaller("the old installer");
        const Run r = in.Start({Act::DownloadManager, Act::Yes, Act::Ok});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(in.Read(in.Store() + "zqmupd.exe"), "the old installer");
        EXPECT_EQ(in.StoreFiles(), std::vector<std::string>{"zqmupd.exe"});
        if (!r.boxes) continue;
        ASSERT_EQ(r.boxes->size(), 2u);
        EXPECT_EQ((*r.boxes)[1].text.rfind("Fehler beim Download.\n\n", 0), 0u) << (*r.boxes)[1].text;
        EXPECT_NE((*r.boxes)[1].text.find(f.told), std::string::npos) << (*r.boxes)[1].text;
        for (const char* library : {"SSL", "curl", "WinHttp", "connect", "302"}) {
            EXPECT_EQ((*r.boxes)[1].text.find(library), std::string::npos) << "no library text or status";
        }
    }
}

// The update folder is not there: No to the question opens the data folder, Yes makes the
// update folder and opens it.
inline void TheFolderQuestionOpensTheDataFolderOnNoAndMakesTheUpdateFolderOnYes(Installation& in) {
    const std::string store = in.Store();
    const std::string data = store.substr(0, store.rfind("UpdStore"));
    Run r = in.Start({Act::Folder, Act::No});
    EXPECT_EQ(r.exitCode, 0);
    const std::string first = in.Opened(10000);
    EXPECT_NE(first.find(data.substr(0, data.size() - 1)), std::string::npos) << first;
    EXPECT_EQ(first.find("UpdStore"), std::string::npos) << first;
    EXPECT_FALSE(in.Exists(store));
    if (r.boxes) {
        ASSERT_EQ(r.boxes->size(), 1u);
        EXPECT_NE((*r.boxes)[0].text.find("Das ZEQUORA Update-Verzeichnis'" + store + "' ist nicht vorhanden."),
                  std::string::npos)
            << (*r.boxes)[0].text;
    }

    r = in.Start({Act::Folder, Act::Yes});
    EXPECT_EQ(r.exitCode, 0);
    const std::string second = in.Opened(10000);
    EXPECT_NE(second.find(data + "UpdStore"), std::string::npos) << second;
    EXPECT_TRUE(in.Exists(store));
}

}  // namespace zqtest::zqu

// The scenarios as tests of a fixture that is an Installation.
#define ZQ_ZQU_SCENARIO_TESTS(Fixture)                                                           \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqu, ShowsRecordedAndNewestVersionsAndOpensTheHistory)     \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqu, DownloadsBothPartsThroughTheOfferAndCloses)           \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqu, OverwriteQuestionAnsweredEachWayAndTheOfferCancelled) \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqu, EachFailureIsToldAndLeavesTheOldInstaller)            \
    ZQ_SCENARIO_TEST(Fixture, zqtest::zqu, TheFolderQuestionOpensTheDataFolderOnNoAndMakesTheUpdateFolderOnYes)
