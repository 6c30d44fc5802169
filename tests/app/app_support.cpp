#include "app_support.h"

#include <fstream>
#include <random>

#include "chip/direct_spi.h"
#include "device/devapi.h"
#include "operations/block_loop.h"

void AppTest::SetUp() {
    seen_ = 0;
    state_ = std::make_unique<AppState>();
    DevResetForTests();
    DevSetSleeper([](std::uint32_t) {});
    std::random_device random;
    dir_ = fs::temp_directory_path() /
           ("vm612k-app-" + std::to_string(random()) + "-" + std::to_string(random()));
    fs::create_directories(dir_);
}

void AppTest::TearDown() {
    if (app_) {
        app_->waitIdle();
        app_.reset();
    }
    DevResetForTests();
    DevSetSleeper(nullptr);
    setDirectSpiClock(nullptr);
    failWorkerAllocationsForTests(false);
    state_.reset();
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir_, ignored);
}

void AppTest::start(const std::string& simConfig) { startWith(vmsim::makeSimBus(simConfig)); }

void AppTest::startWith(vmsim::SimBus bus) {
    bus_ = bus;
    DevUseServices(bus_.services());
    app_ = std::make_unique<HeadlessApp>(*state_, (dir_ / "QX_App_EN.exe").string());
    app_->start();
}

std::vector<std::string> AppTest::newLines() {
    std::vector<std::string> all = app_->host().logHistory();
    std::vector<std::string> fresh(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
    seen_ = all.size();
    return fresh;
}

void AppTest::answerOpen(const fs::path& path) {
    std::string text = path.string();
    std::size_t slash = text.find_last_of("/\\");
    std::size_t offset = slash == std::string::npos ? 0 : slash + 1;
    host().answerOpenFile([text, offset](const FileDialogParams&) {
        return FileDialogResult{true, text, offset};
    });
}

void AppTest::answerOpenCancel() {
    host().answerOpenFile([](const FileDialogParams&) { return FileDialogResult{}; });
}

void AppTest::answerSave(const fs::path& path) {
    std::string text = path.string();
    std::size_t offset = text.find_last_of("/\\") + 1;
    host().answerSaveFile([text, offset](const FileDialogParams&) {
        return FileDialogResult{true, text, offset};
    });
}

fs::path AppTest::makeImage(const std::string& name, std::size_t size) {
    std::vector<char> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + 3);
    fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
    return path;
}

std::vector<std::uint8_t> AppTest::readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void AppTest::load(const fs::path& path) {
    answerOpen(path);
    app().press(ids::kLoad);
}

void AppTest::setFlash(int index) {
    host().call([&] { host().listSelect(ids::kFlashSizeList, index); });
    app().press(ids::kSetFlash);
}

void AppTest::runWorker(int id) {
    app().press(id);
    ASSERT_TRUE(app().waitIdle());
}

void AppTest::fastDirectSpiClock() {
    auto now = std::make_shared<std::uint64_t>(0);
    setDirectSpiClock([now] { return *now += 100; });
}
