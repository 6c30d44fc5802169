// A programmer application on the headless host and the emulator, in a
// temporary folder of its own, for the end-to-end tests of the window logic.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/control_ids.h"
#include "tests/support/headless/headless_app.h"
#include "sim/bus.h"

namespace fs = std::filesystem;

class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Installs an emulator built from `simConfig` (VM612K_SIM syntax) and
    // runs the window start.
    void start(const std::string& simConfig = "erase_ms=0");
    // The same with a bus the test built itself.
    void startWith(vmsim::SimBus bus);

    AppState& state() { return *state_; }
    HeadlessApp& app() { return *app_; }
    HeadlessHost& host() { return app_->host(); }
    std::vector<std::string> log() const { return app_->host().log(); }
    // The log lines appended since the last call.
    std::vector<std::string> newLines();

    // Answers the open chooser with `path` (name after the last separator).
    void answerOpen(const fs::path& path);
    void answerOpenCancel();
    void answerSave(const fs::path& path);

    // Writes a file of `size` bytes (byte i = i * 7 + 3) and returns its path.
    fs::path makeImage(const std::string& name, std::size_t size);
    static std::vector<std::uint8_t> readFile(const fs::path& path);

    // Loads `path` through the Load button.
    void load(const fs::path& path);
    // Selects the size list index and presses SetFlash.
    void setFlash(int index);
    // Presses a worker button and waits for the worker to end.
    void runWorker(int id);
    // A direct-SPI clock that moves 100 ms at every look, so bounded waits
    // end at once.
    void fastDirectSpiClock();

    fs::path dir_;
    vmsim::SimBus bus_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<HeadlessApp> app_;
    std::size_t seen_ = 0;
};
