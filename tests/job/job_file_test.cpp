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
        {"unknown table", "[steps]", "[serial]", 12, "serial", "unknown table"},
        {"wrong type", "size = \"16Mbit\"", "size = 16", 10, "flash.size", "must be a string"},
        {"step type", "verify = false", "verify = \"no\"", 13, "steps.verify", "true or false"},
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
