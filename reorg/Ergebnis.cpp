// The outcome of the run stored in the data file, where the front end shows it.
#include "reorg/Ablauf.h"
#include "common/Utf8.h"
#include "reorg/funktionen.h"

namespace zq::reorg {

namespace {

// The options record; false on the first thing that fails.
bool WriteOptionsRecord(ReorgContext& ctx) {
    dao::Error error;
    std::unique_ptr<dao::Recordset> rs =
        ctx.run.db->OpenRecordset("select * from tblCfgOptionen", dao::RecordsetType::Dynaset, error);
    if (error || !rs) return false;
    bool ok = false;
    if (!rs->Eof() || rs->RecordCount() > 0) {
        rs->MoveFirst();
        rs->Edit();
        ok = !rs->SetField("OP_ReorgErgebnis_Size", ctx.platform.clock.FormatOneDecimal(ctx.run.glSizeAfter)) &&
             !rs->SetField("OP_ReorgErgebnis", static_cast<std::int64_t>(ctx.run.glResultFlag)) &&
             !rs->SetField("OP_ReorgErgebnis_AnzahlDS", static_cast<std::int64_t>(ctx.run.glResultCount)) &&
             (ctx.options.logMode == LogMode::Off || !rs->SetField("OP_ReorgLog_Pfad", ctx.run.glLogFile)) &&
             !rs->Update();
    }
    rs->Close();
    return ok;
}

}  // namespace

std::string CurrentUserName(ReorgContext& ctx) { return ctx.platform.env.LogonName(); }

void WriteEventRecord(ReorgContext& ctx, std::int16_t eventCode, const std::string& value,
                      const std::string& path, std::optional<bool> result) {
    if (!ctx.run.db) return;
    dao::Error error;
    std::unique_ptr<dao::Recordset> rs =
        ctx.run.db->OpenRecordset("SELECT * FROM tblEreignis WHERE 1 = 2", dao::RecordsetType::Dynaset, error);
    if (error || !rs) return;
    // Each value on its own: a missing field loses that value, never the program.
    rs->AddNew();
    (void)rs->SetField("ER_Ereignis", static_cast<std::int64_t>(eventCode));
    (void)rs->SetField("ER_Datum", ctx.platform.clock.Now());
    if (!value.empty()) (void)rs->SetField("ER_Wert", value);
    if (!path.empty()) (void)rs->SetField("ER_Pfad", path);
    if (result) (void)rs->SetField("ER_Ergebnis", static_cast<std::int64_t>(*result ? -1 : 0));
    (void)rs->SetField("ER_Version", ctx.program.glVersionText);
    (void)rs->SetField("ER_Bediener", dao::Value{});
    std::string user = CurrentUserName(ctx);
    (void)rs->SetField("ER_UserErst", user.empty() ? std::string() : user);
    (void)rs->Update();
    rs->Close();
}

void WriteResults(ReorgContext& ctx) {
    ctx.trace.OpenAppend();
    ctx.trace.Empty();
    ctx.trace.Label("Action", "Writing results to data file");
    const std::string value = "zqr.exe" + ctx.program.glStartParm;
    const std::string path = LastChars(ctx.run.glAccessCommand, 255);
    bool ok = ctx.run.db && WriteOptionsRecord(ctx);
    // A failed run is stored as such: its flag is 1, and the event never says "done".
    if (!ctx.run.glStartedByManager) WriteEventRecord(ctx, 5, value, path, ok && !ctx.run.runFailed);
    CloseDataFiles(ctx);
    if (!ok) ctx.run.resultsFailed = true;
    ctx.trace.Result(ok ? "OK" : "Error");
    ctx.trace.Close();
}

}  // namespace zq::reorg
