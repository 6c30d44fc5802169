// The station board on production jobs, signed in the test with the stock
// minisign: a signed job opens from the File menu, fills and locks the
// fields, shows its name, revision, image and signer, and runs on the
// emulator with its stamp in every record; a job whose text or image changed
// after signing, or whose image changed after it was opened, is refused with
// its reason and Start stays off.
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "desktop/fill_in.h"
#include "desktop/job_banner.h"
#include "job/digest.h"
#include "job/job_check.h"
#include "serial/unit_records.h"
#include "station_board_support.h"

namespace qtgui {
namespace {

std::string quoted(const std::string& text) { return "'" + text + "'"; }

bool run(const std::string& line) { return std::system((line + " >/dev/null 2>&1").c_str()) == 0; }

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A line's key pair in the scratch folder, without a password: its public
// key's path; `keyId` gets the id minisign gives it.
std::string makeKey(const std::string& name, std::string* keyId) {
    const std::string pub = scratch(name + ".pub"), key = scratch(name + ".key");
    EXPECT_TRUE(run("minisign -G -W -f -p " + quoted(pub) + " -s " + quoted(key)));
    const std::string head = "untrusted comment: minisign public key ";
    // minisign prints the id without leading zeros: up to the line's end.
    const std::string text = slurp(pub);
    *keyId = text.substr(head.size(), text.find('\n') - head.size());
    return pub;
}

void sign(const std::string& file, const std::string& pub) {
    const std::string key = pub.substr(0, pub.size() - 4) + ".key";
    EXPECT_TRUE(run("minisign -S -s " + quoted(key) + " -m " + quoted(file) + " -t 'released by test'"));
}

// job.toml beside `image` for it as it is now: 1 Mbit, no verify.
std::string writeJob(const std::string& image) {
    vmjob::JobSpec spec;
    spec.name = "chime-v3";
    spec.revision = "3.1";
    spec.imageFile = std::filesystem::path(image).filename().string();
    spec.imageSha256 = vmjob::sha256Hex(readFile(image));
    spec.size = "1Mbit";
    spec.verify = false;
    spec.eraseIfNeeded = true;
    const std::string job = (std::filesystem::path(image).parent_path() / "job.toml").string();
    std::ofstream(job, std::ios::binary | std::ios::trunc) << vmjob::jobText(spec);
    return job;
}

// Production jobs need the job library and the stock minisign.
bool jobsCanBeSigned() { return vmjob::jobsSupported() && run("command -v minisign"); }

QPushButton& button(StationBoard& board, const char* name) { return *board.findChild<QPushButton*>(name); }

// Every field the job gives is locked, with the job's value; typing changes nothing.
void expectJobFields(StationBoard& board, const std::string& image) {
    auto* path = board.findChild<QLineEdit*>("image");
    EXPECT_EQ(path->text().toStdString(), image);
    EXPECT_TRUE(path->isReadOnly());
    QTest::keyClicks(path, "x");
    EXPECT_EQ(path->text().toStdString(), image);
    auto* size = board.findChild<QComboBox*>("size");
    EXPECT_EQ(size->currentIndex(), sizeIndexOf(128 * 1024));
    EXPECT_FALSE(size->isEnabled());
    for (const char* step : {"erase", "program", "verify", "truncate", "eraseIfNeeded"}) {
        auto* box = board.findChild<QCheckBox*>(step);
        EXPECT_FALSE(box->isEnabled()) << step;
        const std::string name = step;
        EXPECT_EQ(box->isChecked(), name == "erase" || name == "program" || name == "eraseIfNeeded") << step;
    }
    EXPECT_FALSE(board.findChild<QLineEdit*>("checksum")->isEnabled());
}

TEST(StationBoardScenario, ASignedJobOpensFromTheMenuLocksItsFieldsAndRuns) {
    if (!jobsCanBeSigned()) GTEST_SKIP() << "no job library or no minisign";
    const std::string image = scratch("chime-v3.bin");
    writeFile(image, testImage(128 * 1024));
    std::string keyId;
    const std::string pub = makeKey("line", &keyId);
    const std::string job = writeJob(image);
    sign(job, pub);
    const std::string flash = scratch("flash.bin"), audit = scratch("audit.log");
    std::remove(audit.c_str());
    for (const char* end : {"", "-wal", "-shm"}) std::remove((scratch("chime-v3.serials.db") + end).c_str());

    Session s("erase_ms=0,size=1Mbit,programmers=3,file=" + flash);
    StationBoard& board = s.app().stationBoard();
    board.setTrustedKeys({pub});
    board.setLog(QString::fromStdString(audit));
    EXPECT_EQ(s.form().findChild<QAction*>("openJobItem")->text(), text(kTextsEn.menuOpenJob));
    whenModal("openFileDialog", [&](QWidget& dialog) {
        auto& chooser = static_cast<QFileDialog&>(dialog);
        // Typed into the chooser's name field, as an operator may.
        chooser.findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(job));
        static_cast<QDialog&>(chooser).accept();
    });
    s.form().findChild<QAction*>("openJobItem")->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&board));
    ASSERT_TRUE(board.onJob()) << board.status().toStdString();

    // What the operator checks from a step away, in type larger than the fields'.
    JobBanner& banner = board.jobBanner();
    EXPECT_EQ(banner.heading(), "Job chime-v3, revision 3.1");
    const QString sha = QString::fromStdString(vmjob::sha256Hex(readFile(image)).substr(0, 12));
    EXPECT_EQ(banner.line(), fillIn(kTextsEn.jobImageSigner, {sha, QString::fromStdString(keyId)}));
    EXPECT_GE(banner.findChild<QLabel*>("jobLine")->font().pointSizeF(), 1.3 * board.font().pointSizeF());
    expectJobFields(board, image);
    // A station with trusted keys runs signed jobs only.
    EXPECT_FALSE(button(board, "leaveJob").isVisible());

    clickStart(board);
    ASSERT_TRUE(board.running()) << board.status().toStdString();
    ASSERT_TRUE(waitUntil([&] { return stateOf(board, 1) == "PASS" && stateOf(board, 2) == "PASS"; }))
        << stateOf(board, 1).toStdString() << " / " << stateOf(board, 2).toStdString();
    EXPECT_TRUE(readFile(flash + ".1") == readFile(image));
    expectNothingCut(board);
    saveScreenshot(board, "station-board-job");
    board.stop();
    ASSERT_TRUE(waitUntil([&] { return !board.running(); }));
    expectJobFields(board, image);  // still the job's after the run

    const std::string records = slurp(audit);
    // Every unit's record reaches the job's store too (a job without
    // [serial]: the SQLite file beside it), sent after the unit by a thread
    // of the run's own.
    const std::size_t logged = static_cast<std::size_t>(std::count(records.begin(), records.end(), '\n'));
    auto store = vmserial::openRecordStore("sqlite:" + scratch("chime-v3.serials.db"));
    EXPECT_TRUE(waitUntil([&] { return store->recordCount() == logged; })) << store->recordCount() << " of " << logged;
    for (const std::string& field : {std::string("\"job\":\"chime-v3\""), std::string("\"job_revision\":\"3.1\""),
                                    "\"signer\":\"" + keyId + "\"", std::string("\"steps\":[\"erase\",\"program\"]")})
        EXPECT_NE(records.find(field), std::string::npos) << field << " in " << records;
}

TEST(StationBoardScenario, AJobChangedAfterSigningIsRefusedWithItsReason) {
    if (!jobsCanBeSigned()) GTEST_SKIP() << "no job library or no minisign";
    const std::string image = scratch("chime-v3.bin");
    const std::vector<std::uint8_t> bytes = testImage(128 * 1024);
    writeFile(image, bytes);
    std::string keyId;
    const std::string pub = makeKey("line", &keyId);
    const std::string job = writeJob(image);
    const std::string flash = scratch("flash.bin");
    Session s("erase_ms=0,size=1Mbit,programmers=2,file=" + flash);
    StationBoard& board = openBoard(s, image, 128 * 1024);
    board.setTrustedKeys({pub});
    auto refused = [&](const char* reason) {
        EXPECT_TRUE(board.jobBanner().refused());
        EXPECT_EQ(board.jobBanner().line(), fillIn(reason, {"job.toml"}));
        EXPECT_FALSE(button(board, "start").isEnabled());
        clickStart(board);
        EXPECT_FALSE(board.running());
    };

    // Signed, then its text changed: the signature no longer holds.
    sign(job, pub);
    std::ofstream(job, std::ios::app) << "# edited\n";
    EXPECT_FALSE(board.openJob(QString::fromStdString(job)));
    refused(kTextsEn.jobRefusedSignature);
    EXPECT_TRUE(board.status().startsWith(QString::fromStdString(job + ".minisig: "))) << board.status().toStdString();

    // Signed as it is, but its image changed since.
    writeJob(image);
    sign(job, pub);
    std::vector<std::uint8_t> changed = bytes;
    changed[100] ^= 0xFF;
    writeFile(image, changed);
    EXPECT_FALSE(board.openJob(QString::fromStdString(job)));
    refused(kTextsEn.jobRefusedImageChanged);
    EXPECT_TRUE(board.status().contains("image.sha256")) << board.status().toStdString();
    EXPECT_TRUE(board.findChild<QLineEdit*>("image")->text().isEmpty());
    expectNothingCut(board);
    saveScreenshot(board, "station-board-job-refused");

    // Opened whole, then the image changed before Start: the bytes loaded
    // are checked once more, and nothing reaches a programmer.
    writeFile(image, bytes);
    ASSERT_TRUE(board.openJob(QString::fromStdString(job))) << board.status().toStdString();
    EXPECT_TRUE(button(board, "start").isEnabled());
    writeFile(image, changed);
    clickStart(board);
    EXPECT_FALSE(board.running());
    EXPECT_TRUE(board.jobBanner().refused());
    EXPECT_TRUE(board.jobBanner().line().startsWith(QString::fromStdString("The image " + image + " has changed")))
        << board.jobBanner().line().toStdString();
    EXPECT_FALSE(button(board, "start").isEnabled());
    EXPECT_EQ(board.tiles(), 0u);
}

TEST(StationBoardScenario, TheChineseBoardRunsAnUnsignedJobAndSaysSo) {
    if (!vmjob::jobsSupported()) GTEST_SKIP() << "no job library";
    const std::string image = scratch("chime-v3.bin");
    writeFile(image, testImage(128 * 1024));
    const std::string job = writeJob(image);
    // With serial numbers: each tile names its unit's, the totals the numbers left.
    const std::string store = scratch("serials.db");
    std::filesystem::remove(store);
    std::ofstream(job, std::ios::app) << "\n[serial]\noffset = 0x10\nformat = \"u32le\"\nfirst = 500\nlast = 599\n"
                                      << "store = \"sqlite:" << store << "\"\n";
    // Blank modules: one that already holds the job's image would count as
    // done, its number kept.
    const std::string flash = scratch("flash-serial.bin");
    for (const char* suffix : {"", ".1", ".2"}) std::filesystem::remove(flash + suffix);
    Session s("erase_ms=0,size=1Mbit,programmers=3,file=" + flash, kTextsSc);
    EXPECT_EQ(s.form().findChild<QAction*>("openJobItem")->text(), text(kTextsSc.menuOpenJob));
    StationBoard& board = openBoard(s, image, 128 * 1024);
    ASSERT_TRUE(board.openJob(QString::fromStdString(job))) << board.status().toStdString();
    EXPECT_EQ(board.jobBanner().heading(), fillIn(kTextsSc.jobHeadingRevision, {"chime-v3", "3.1"}));
    EXPECT_TRUE(board.jobBanner().line().endsWith(text(kTextsSc.jobUnsigned))) << board.jobBanner().line().toStdString();
    EXPECT_EQ(board.status(), fillIn(kTextsSc.jobReadyUnsigned, {"chime-v3"}));
    // Without trusted keys the operator may leave the job for the free fields.
    EXPECT_TRUE(button(board, "leaveJob").isVisible());
    EXPECT_EQ(button(board, "leaveJob").text(), text(kTextsSc.boardLeaveJob));

    clickStart(board);
    ASSERT_TRUE(board.running()) << board.status().toStdString();
    const QString pass = text(kTextsSc.tilePass);
    ASSERT_TRUE(waitUntil([&] { return stateOf(board, 1) == pass && stateOf(board, 2) == pass; }))
        << stateOf(board, 1).toStdString() << " / " << stateOf(board, 2).toStdString();
    EXPECT_TRUE(board.tile(1)->findChild<QLabel*>("counts")->text().contains("序列号 50"))
        << board.tile(1)->findChild<QLabel*>("counts")->text().toStdString();
    EXPECT_TRUE(board.totals().contains("剩余序列号: 98 个")) << board.totals().toStdString();
    expectNothingCut(board);
    saveScreenshot(board, "station-board-job-sc");
    board.stop();
    ASSERT_TRUE(waitUntil([&] { return !board.running(); }));

    QTest::mouseClick(&button(board, "leaveJob"), Qt::LeftButton);
    EXPECT_FALSE(board.onJob());
    EXPECT_FALSE(board.jobBanner().isVisible());
    EXPECT_EQ(board.findChild<QLineEdit*>("image")->text().toStdString(), image);
    EXPECT_FALSE(board.findChild<QLineEdit*>("image")->isReadOnly());
    EXPECT_TRUE(board.findChild<QCheckBox*>("verify")->isChecked());
}

}  // namespace
}  // namespace qtgui
