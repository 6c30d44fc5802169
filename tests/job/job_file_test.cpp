// The job file's reader: what it takes, and that each fault names its line
// and key.
#include <gtest/gtest.h>

#include "job/job_file.h"

using vmjob::readJobText;

namespace {

const std::string kSha(64, 'a');

std::string wholeJob() {
    return "[job]\nname = \"chime-v3\"\nrevision = \"3.1\"\n\n"
           "[image]\nfile = \"chime-v3.bin\"\nsha256 = \"" + std::string(64, 'A') + "\"\n\n"
           "[flash]\nsize = \"16Mbit\"\n\n[steps]\nverify = false\n";
}

}  // namespace

TEST(JobFile, ReadsEveryFieldAndDefaultsTheSteps) {
    vmjob::JobRead read = readJobText(wholeJob(), "job.toml");
    ASSERT_TRUE(read.spec) << read.problem.text();
    EXPECT_EQ(read.spec->name, "chime-v3");
    EXPECT_EQ(read.spec->revision, "3.1");
    EXPECT_EQ(read.spec->imageFile, "chime-v3.bin");
    EXPECT_EQ(read.spec->imageSha256, kSha) << "kept in lower case";
    EXPECT_EQ(read.spec->size, "16Mbit");
    EXPECT_TRUE(read.spec->erase);
    EXPECT_TRUE(read.spec->program);
    EXPECT_FALSE(read.spec->verify);
    EXPECT_EQ(read.spec->imageSha256Line, 7u);
    EXPECT_EQ(read.spec->sizeLine, 10u);
}

TEST(JobFile, WrittenTextReadsBackTheSame) {
    vmjob::JobSpec spec;
    spec.name = "a.b_c-1";
    spec.imageFile = "images/with \"quotes\" and \\.bin";
    spec.imageSha256 = kSha;
    spec.size = "2 Mbit";
    spec.program = false;
    vmjob::JobRead read = readJobText(vmjob::jobText(spec), "new.toml");
    ASSERT_TRUE(read.spec) << read.problem.text() << "\n" << vmjob::jobText(spec);
    EXPECT_EQ(read.spec->name, spec.name);
    EXPECT_EQ(read.spec->revision, "");
    EXPECT_EQ(read.spec->imageFile, spec.imageFile);
    EXPECT_EQ(read.spec->size, spec.size);
    EXPECT_FALSE(read.spec->program);
    EXPECT_TRUE(read.spec->erase && read.spec->verify);
    EXPECT_FALSE(read.spec->eraseIfNeeded);

    // erase = "if-needed" is an erase, written back as it was given.
    spec.eraseIfNeeded = true;
    read = readJobText(vmjob::jobText(spec), "new.toml");
    ASSERT_TRUE(read.spec) << read.problem.text();
    EXPECT_TRUE(read.spec->erase && read.spec->eraseIfNeeded);
    EXPECT_NE(vmjob::jobText(spec).find("if-needed"), std::string::npos);
}

// Each fault: the text's edit, and the line and key the problem must name.
struct Fault {
    const char* what;
    std::string from, to;
    unsigned line;
    const char* key;
    const char* words;
};

TEST(JobFile, EachFaultNamesItsLineAndKey) {
    const Fault faults[] = {
        {"unknown key", "revision = \"3.1\"", "revison = \"3.1\"", 3, "job.revison", "unknown key"},
        {"unknown table", "[steps]", "[serials]", 12, "serials", "unknown table"},
        {"wrong type", "size = \"16Mbit\"", "size = 16", 10, "flash.size", "must be a string"},
        {"step type", "verify = false", "verify = \"no\"", 13, "steps.verify", "true or false"},
        {"erase mode", "verify = false", "verify = false\nerase = \"when-blank\"", 14, "steps.erase",
         "\"if-needed\""},
        {"short sha", std::string(64, 'A'), "abc", 7, "image.sha256", "64 hexadecimal"},
        {"bad name", "\"chime-v3\"", "\"chime v3\"", 2, "job.name", "letters, digits"},
        {"missing key", "name = \"chime-v3\"\n", "", 1, "job.name", "missing"},
        {"syntax", "[flash]", "[flash", 9, "", "table header"},
        {"syntax", "size = \"16Mbit\"", "size = \"16Mbit", 10, "", "parsing string"},
        {"nothing to do", "verify = false", "verify = false\nerase = false\nprogram = false", 12,
         "steps", "do nothing"},
    };
    for (const Fault& fault : faults) {
        std::string text = wholeJob();
        const std::size_t at = text.find(fault.from);
        ASSERT_NE(at, std::string::npos) << fault.what;
        text.replace(at, fault.from.size(), fault.to);
        vmjob::JobRead read = readJobText(text, "dir/job.toml");
        ASSERT_FALSE(read.spec) << fault.what;
        EXPECT_EQ(read.problem.file, "dir/job.toml") << fault.what;
        EXPECT_EQ(read.problem.line, fault.line) << fault.what << ": " << read.problem.text();
        EXPECT_EQ(read.problem.key, fault.key) << fault.what << ": " << read.problem.text();
        EXPECT_NE(read.problem.text().find(fault.words), std::string::npos)
            << fault.what << ": " << read.problem.text();
    }
}

TEST(JobFile, AMissingOrMistypedTableIsNamed) {
    std::string text = wholeJob();
    text.erase(text.find("[image]"), text.find("[flash]") - text.find("[image]"));
    vmjob::JobRead read = readJobText(text, "job.toml");
    ASSERT_FALSE(read.spec);
    EXPECT_EQ(read.problem.text(), "job.toml: image: missing table [image]");

    text = wholeJob();
    text.erase(text.find("[flash]"), text.find("[steps]") - text.find("[flash]"));
    read = readJobText("flash = \"16Mbit\"\n" + text, "job.toml");
    ASSERT_FALSE(read.spec);
    EXPECT_EQ(read.problem.text(), "job.toml:1: flash: must be a table ([flash])");
}

// Texts that the TOML library of Debian 12 must never see (found by
// fuzz_job): characters beyond ASCII, and table headers other than [name].
TEST(JobFile, ATextBeyondAsciiOrAnOddHeaderIsRefusedWithItsLine) {
    for (const char* header : {"[::::::::job]", "[[job]]", "[job.x]", "[]", "[job] x = 1", "[ job"}) {
        const vmjob::JobRead odd = readJobText("# a job\n" + std::string(header) + "\nname = 'demo'\n", "job.toml");
        ASSERT_FALSE(odd.spec) << header;
        EXPECT_EQ(odd.problem.line, 2u) << header;
        EXPECT_NE(odd.problem.text().find("table header"), std::string::npos) << header;
    }
    EXPECT_TRUE(readJobText("  [ job ]  # the job\n", "job.toml").problem.text().find("table header") ==
                std::string::npos);
    for (const char* value : {"-e=[[}RRRR", "name = [1, 2]", "name = { a = 1 }"}) {
        const vmjob::JobRead odd = readJobText("[job]\n" + std::string(value) + "\n", "job.toml");
        ASSERT_FALSE(odd.spec) << value;
        EXPECT_EQ(odd.problem.line, 2u) << value;
        EXPECT_NE(odd.problem.text().find("not arrays"), std::string::npos) << value;
    }
    EXPECT_TRUE(readJobText("[job]\nname = \"a=[b\"\n", "job.toml").problem.text().find("not arrays") ==
                std::string::npos);
    // An escaped line end in a string would write back as a second line.
    std::string lineEnd = wholeJob();
    lineEnd.replace(lineEnd.find("chime-v3.bin"), 12, "chime\\n[[x.bin");
    const vmjob::JobRead escaped = readJobText(lineEnd, "job.toml");
    ASSERT_FALSE(escaped.spec);
    EXPECT_EQ(escaped.problem.key, "image.file");
    EXPECT_NE(escaped.problem.text().find("control character"), std::string::npos);
    // U+0362 in a comment: toml++ 3.3's whitespace test goes astray on it.
    std::string text = wholeJob() + "# caf\xC3\xA9 \xCD\xA2\n";
    vmjob::JobRead read = readJobText(text, "job.toml");
    ASSERT_FALSE(read.spec);
    EXPECT_EQ(read.problem.line, 14u);
    EXPECT_NE(read.problem.text().find("not printable ASCII"), std::string::npos);
}

namespace {

// The whole job with a [serial] table after it: [serial] on line 15, its
// keys from line 16.
const std::string kSerial =
    "offset = 0x1FF000\nformat = \"u32le\"\nfirst = 1000\nlast = 1999\n";

std::string withSerial(const std::string& keys) { return wholeJob() + "\n[serial]\n" + keys; }

}  // namespace

TEST(JobFile, ReadsTheSerialTableAndWritesItBack) {
    vmjob::JobRead read = readJobText(withSerial(kSerial), "job.toml");
    ASSERT_TRUE(read.spec) << read.problem.text();
    ASSERT_TRUE(read.spec->serial);
    const vmserial::SerialSettings& serial = *read.spec->serial;
    EXPECT_EQ(serial.offset, 0x1FF000u);
    EXPECT_EQ(serial.format, vmserial::SerialFormat::u32le);
    EXPECT_EQ(serial.width, 0u);
    EXPECT_EQ(serial.first, 1000u);
    EXPECT_EQ(serial.last, 1999u);
    EXPECT_EQ(serial.step, 1u) << "the default";
    EXPECT_EQ(serial.store, "") << "the default is the checked job's to make";
    EXPECT_EQ(read.spec->serialLines.table, 15u);
    EXPECT_EQ(read.spec->serialLines.offset, 16u);
    EXPECT_EQ(read.spec->serialLines.last, 19u);
    EXPECT_FALSE(readJobText(wholeJob(), "job.toml").spec->serial);

    read = readJobText(withSerial("offset = 16\nformat = \"bcd\"\nwidth = 10\nfirst = 5\nlast = 9000000005\n"
                                  "step = 1000\nstore = \"postgresql://vm612k@line:5432/serials\"\n"),
                       "job.toml");
    ASSERT_TRUE(read.spec) << read.problem.text();
    const std::string text = vmjob::jobText(*read.spec);
    EXPECT_NE(text.find("\n[serial]\noffset = 0x10\nformat = 'bcd'\nwidth = 10\n"), std::string::npos) << text;
    const vmjob::JobRead back = readJobText(text, "again.toml");
    ASSERT_TRUE(back.spec && back.spec->serial) << back.problem.text() << "\n" << text;
    EXPECT_EQ(back.spec->serial->offset, 16u);
    EXPECT_EQ(back.spec->serial->format, vmserial::SerialFormat::bcd);
    EXPECT_EQ(back.spec->serial->width, 10u);
    EXPECT_EQ(back.spec->serial->first, 5u);
    EXPECT_EQ(back.spec->serial->last, 9000000005u);
    EXPECT_EQ(back.spec->serial->step, 1000u);
    EXPECT_EQ(back.spec->serial->store, "postgresql://vm612k@line:5432/serials");
}

// Ranges at the edges of what their format holds.
TEST(JobFile, ASerialRangeThatJustFitsReads) {
    for (const char* keys : {
             "offset = 0\nformat = 'u16be'\nfirst = 0\nlast = 65535\n",
             "offset = 0\nformat = 'u16le'\nfirst = 0\nlast = 70000\nstep = 65535\n",  // hands out 65535 last
             "offset = 0\nformat = 'ascii-dec'\nwidth = 3\nfirst = 999\nlast = 999\n",
             "offset = 0\nformat = 'ascii-hex'\nwidth = 64\nfirst = 0\nlast = 9223372036854775807\n",
             "offset = 0\nformat = 'u32le'\nwidth = 4\nfirst = 1\nlast = 2\nstore = 'sqlite:a/b.db'\n",
         }) {
        const vmjob::JobRead read = readJobText(withSerial(keys), "job.toml");
        EXPECT_TRUE(read.spec) << keys << read.problem.text();
    }
}

TEST(JobFile, EachSerialFaultNamesItsLineAndKey) {
    const Fault faults[] = {
        {"unknown key", "first = 1000", "frist = 1000", 18, "serial.frist", "unknown key"},
        {"missing key", "last = 1999\n", "", 15, "serial.last", "missing"},
        {"offset as text", "offset = 0x1FF000", "offset = \"0x1FF000\"", 16, "serial.offset", "whole number"},
        {"fraction", "first = 1000", "first = 1000.5", 18, "serial.first", "whole number"},
        {"negative", "first = 1000", "first = -1", 18, "serial.first", "at least 0"},
        {"step 0", "last = 1999", "last = 1999\nstep = 0", 20, "serial.step", "at least 1"},
        {"width 0", "last = 1999", "last = 1999\nwidth = 0", 20, "serial.width", "at least 1"},
        {"format", "\"u32le\"", "\"u24le\"", 17, "serial.format", "not 'u24le'"},
        {"no width", "\"u32le\"", "\"ascii-dec\"", 15, "serial.width", "needs a width"},
        {"odd width", "\"u32le\"", "\"u32le\"\nwidth = 8", 18, "serial.width", "does not match"},
        {"wide", "\"u32le\"", "\"bcd\"\nwidth = 65", 18, "serial.width", "64 bytes"},
        {"first above last", "first = 1000", "first = 2000", 18, "serial.first", "above last"},
        {"too large", "\"u32le\"", "\"ascii-dec\"\nwidth = 3", 20, "serial.last", "1999 does not fit"},
        {"store", "last = 1999", "last = 1999\nstore = \"serials.db\"", 20, "serial.store", "sqlite:PATH"},
        {"empty store", "last = 1999", "last = 1999\nstore = \"sqlite:\"", 20, "serial.store", "sqlite:PATH"},
        {"store type", "last = 1999", "last = 1999\nstore = 5", 20, "serial.store", "must be a string"},
        // Each unit would spend a number on a module that never holds it.
        {"no program step", "verify = false", "verify = false\nprogram = false", 14, "steps.program",
         "program step"},
    };
    for (const Fault& fault : faults) {
        std::string text = withSerial(kSerial);
        const std::size_t at = text.find(fault.from);
        ASSERT_NE(at, std::string::npos) << fault.what;
        text.replace(at, fault.from.size(), fault.to);
        vmjob::JobRead read = readJobText(text, "dir/job.toml");
        ASSERT_FALSE(read.spec) << fault.what;
        EXPECT_EQ(read.problem.line, fault.line) << fault.what << ": " << read.problem.text();
        EXPECT_EQ(read.problem.key, fault.key) << fault.what << ": " << read.problem.text();
        EXPECT_NE(read.problem.text().find(fault.words), std::string::npos)
            << fault.what << ": " << read.problem.text();
    }
}
