// Load, Save, checksum and summary fields, end to end on the headless host.
#include <cstring>
#include <fstream>

#include "app/image_files.h"
#include "app_support.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

using Lines = std::vector<std::string>;

TEST(ImageChecksum, KeepsEveryCarry) {
    std::vector<std::uint8_t> ones(16843010, 0xFF);
    EXPECT_EQ(imageChecksum(ones.data(), 16777216), 0xFF000000ull);
    EXPECT_EQ(imageChecksum(ones.data(), ones.size()), 0x1000000FEull);
    EXPECT_EQ(imageChecksum(nullptr, 10), 0u);
    EXPECT_EQ(imageChecksum(ones.data(), 0), 0u);
}

TEST(SizeText, KilobytesWithSixDecimals) {
    EXPECT_EQ(sizeText(1048576), "1024.000000 KB");
    EXPECT_EQ(sizeText(1536), "1.500000 KB");
    EXPECT_EQ(sizeText(0), "0.000000 KB");
}

class ImageFilesTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        start();
        newLines();
    }
};

TEST_F(ImageFilesTest, LoadLogsPathSizeAndChecksumAndFillsTheFields) {
    fs::path image = makeImage("one.bin", 1048576);
    std::vector<std::uint8_t> bytes = readFile(image);
    char sum[32];
    std::snprintf(sum, sizeof sum, "0x%llX",
                  static_cast<unsigned long long>(imageChecksum(bytes.data(), bytes.size())));

    load(image);
    EXPECT_EQ(newLines(), (Lines{image.string(), "FileSize(Byte):1048576->FlashSize(Mbit):8.000000",
                                 "ReadFile OK...", std::string("Buffer checksum:") + sum}));
    EXPECT_EQ(host().text(ids::kPathField), image.string());
    EXPECT_EQ(host().text(ids::kSizeField), "1024.000000 KB");
    EXPECT_EQ(host().text(ids::kChecksumField), sum);
    EXPECT_EQ(state().imageSize, 1048576u);
    ASSERT_TRUE(state().imageData);
    EXPECT_EQ(std::memcmp(state().imageData.get(), bytes.data(), bytes.size()), 0);
    EXPECT_STREQ(state().fileSelection.name, "one.bin");
}

TEST_F(ImageFilesTest, OpenChooserShowsItsTitleFilterAndExtension) {
    answerOpenCancel();
    app().press(ids::kOpenFile);
    auto shown = host().fileDialogsShown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_STREQ(shown[0].title, "Open File...");
    ASSERT_EQ(shown[0].filterCount, 1);
    EXPECT_STREQ(shown[0].filters[0], "All File(*.*)");
    EXPECT_STREQ(shown[0].filters[1], "*.*");
    EXPECT_STREQ(shown[0].defaultExtension, "TPAK");
    EXPECT_TRUE(shown[0].mustExist);
    EXPECT_FALSE(shown[0].promptOverwrite);
}

TEST_F(ImageFilesTest, EmptyFileEndsWithNoImage) {
    fs::path image = makeImage("empty.bin", 0);
    load(image);
    EXPECT_EQ(newLines(), (Lines{image.string(), "FileSize(Byte):0->FlashSize(Mbit):0.000000",
                                 "ReadFile error!!!!!!!!"}));
    EXPECT_FALSE(state().imageData);
}

TEST_F(ImageFilesTest, MissingFileIsAnOpenFailureWithoutStaleSizes) {
    load(makeImage("big.bin", 4096));
    newLines();
    load(dir_ / "gone.bin");
    Lines lines = newLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "OpenFile error!!ErrorCode:2");
    EXPECT_EQ(state().imageSize, 0u);
    EXPECT_EQ(state().fileSizeHigh, 0u);
    EXPECT_FALSE(state().imageData);
}

TEST_F(ImageFilesTest, DirectoryIsRefusedAtTheOpen) {
    fs::create_directory(dir_ / "folder");
    load(dir_ / "folder");
    Lines lines = newLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "FileSize(Byte):0->FlashSize(Mbit):0.000000");
    EXPECT_EQ(lines[2].rfind("OpenFile error!!ErrorCode:", 0), 0u) << lines[2];
    EXPECT_FALSE(state().imageData);
}

#if !defined(_WIN32)
TEST_F(ImageFilesTest, UnreadableFilesAreOpenFailures) {
    // A socket can be looked up but never opened, also by root.
    fs::path socketPath = dir_ / "sock";
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    load(socketPath);
    EXPECT_EQ(newLines().back(), "OpenFile error!!ErrorCode:6");
    ::close(fd);

    if (::geteuid() != 0) {
        fs::path locked = makeImage("locked.bin", 100);
        fs::permissions(locked, fs::perms::none);
        load(locked);
        EXPECT_EQ(newLines().back(), "OpenFile error!!ErrorCode:d");
    }
    EXPECT_FALSE(state().imageData);
}
#endif

TEST_F(ImageFilesTest, OverThe128MbitMarkWarnsAndStillLoads) {
    fs::path image = makeImage("huge.bin", 16777217);
    load(image);
    auto boxes = host().messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Warning!");
    EXPECT_EQ(boxes[0].text, "Impoteded file is > 128Mbit !!!!!!");
    EXPECT_EQ(boxes[0].icon, MessageIcon::Warning);
    Lines lines = newLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], "ReadFile OK...");
    EXPECT_EQ(state().imageSize, 16777217u);
}

TEST_F(ImageFilesTest, FileOver4GiBIsRefusedWithoutReadingIt) {
    fs::path sparse = dir_ / "sparse.bin";
    std::ofstream(sparse).close();
    fs::resize_file(sparse, (1ull << 32) + 5);
    load(sparse);
    EXPECT_EQ(newLines(), Lines{"The File is too large!!"});
    EXPECT_FALSE(state().imageData);
    EXPECT_EQ(state().fileSizeHigh, 1u);
    EXPECT_EQ(state().imageSize, 5u);
    EXPECT_TRUE(host().messageBoxes().empty());
}

TEST_F(ImageFilesTest, CancelDiscardsTheImageButKeepsTheFields) {
    load(makeImage("a.bin", 1536));
    std::string checksum = host().text(ids::kChecksumField);
    newLines();
    answerOpenCancel();
    app().press(ids::kLoad);
    EXPECT_EQ(newLines(), Lines{"user canceled...."});
    EXPECT_FALSE(state().imageData);
    EXPECT_EQ(state().imageSize, 0u);
    EXPECT_STREQ(state().fileSelection.fullPath, "");
    EXPECT_EQ(host().text(ids::kChecksumField), checksum);
    EXPECT_EQ(host().text(ids::kSizeField), "1.500000 KB");

    app().press(ids::kSaveFile);
    EXPECT_EQ(newLines(), Lines{"No data..."});
}

TEST_F(ImageFilesTest, SaveRightAfterLoadWritesTheSameBytes) {
    fs::path image = makeImage("in.bin", 70000);
    load(image);
    fs::path out = dir_ / "out.bin";
    answerSave(out);
    newLines();
    app().press(ids::kSaveFile);
    EXPECT_EQ(newLines(), Lines{"SaveFile OK..."});
    EXPECT_EQ(readFile(out), readFile(image));
    EXPECT_STREQ(state().fileSelection.name, "in.bin");  // the save's choice is its own

    auto shown = host().fileDialogsShown();
    const FileDialogParams& save = shown.back();
    EXPECT_STREQ(save.title, "Save File");
    ASSERT_EQ(save.filterCount, 3);
    EXPECT_STREQ(save.filters[0], "Bin File(*.BIN)");
    EXPECT_STREQ(save.filters[2], "Text File(*.txt)");
    EXPECT_STREQ(save.filters[4], "All File(*.*)");
    EXPECT_STREQ(save.defaultExtension, "TPAK");
    EXPECT_TRUE(save.promptOverwrite);
    EXPECT_TRUE(save.noDereferenceLinks);
}

TEST_F(ImageFilesTest, SaveFailuresLeaveTheOldFileAlone) {
    load(makeImage("in.bin", 4096));
    host().answerSaveFile([](const FileDialogParams&) { return FileDialogResult{}; });
    newLines();
    app().press(ids::kSaveFile);
    EXPECT_EQ(newLines(), Lines{"user canceled...."});

    answerSave(dir_ / "no-such-folder" / "x.bin");
    app().press(ids::kSaveFile);
    EXPECT_EQ(newLines(), Lines{"CreatFile error..."});

#if !defined(_WIN32)
    answerSave("/dev/full");
    app().press(ids::kSaveFile);
    EXPECT_EQ(newLines(), Lines{"SaveFile error..."});

    // A device that fills up halfway: the operator's old file stays whole
    // and no partial file is left beside it.
    fs::path good = makeImage("good.bin", 10);
    std::vector<std::uint8_t> before = readFile(good);
    answerSave(good);
    struct rlimit saved;
    ::getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = 1000;
    auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    app().press(ids::kSaveFile);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(newLines(), Lines{"SaveFile error..."});
    EXPECT_EQ(readFile(good), before);
    int files = 0;
    for (auto& entry : fs::directory_iterator(dir_)) files += entry.is_regular_file();
    EXPECT_EQ(files, 2);  // in.bin and good.bin

    // /proc takes no new files, not even from root.
    answerSave("/proc/vm612k.bin");
    app().press(ids::kSaveFile);
    EXPECT_EQ(newLines(), Lines{"CreatFile error..."});
    if (::geteuid() != 0) {
        fs::create_directory(dir_ / "ro");
        fs::permissions(dir_ / "ro", fs::perms::owner_read | fs::perms::owner_exec);
        answerSave(dir_ / "ro" / "x.bin");
        app().press(ids::kSaveFile);
        EXPECT_EQ(newLines(), Lines{"CreatFile error..."});
    }
#endif
}

TEST_F(ImageFilesTest, ImageLargerThanTheChosenFlashIsReportedAfterTheRead) {
    state().flashSize = 32768;
    load(makeImage("over.bin", 40000));
    Lines lines = newLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[2], "ReadFile OK...");
    EXPECT_EQ(lines[3], "Imported File is too large!!!");
    EXPECT_TRUE(state().imageData);
}
