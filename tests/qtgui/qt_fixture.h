// What the desktop program's scenarios need: the programmer window in this
// process on the emulator, driven as a person drives it (clicks on its
// buttons, its menu, its dialogs), its log read back, and screenshots.
#pragma once

#include <gtest/gtest.h>

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "texts/texts.h"
#include "desktop/programmer_app.h"

class QWidget;

namespace qtgui {

constexpr auto kWaitBound = std::chrono::seconds(60);

// Waits, running the event loop, until `done` holds; false at the bound.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds bound = kWaitBound);

// The scratch folder of the running test case (made empty).
std::string scratch(const std::string& name);
void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> readFile(const std::string& path);
// Bytes that differ from block to block, so that misplaced data shows.
std::vector<std::uint8_t> testImage(std::size_t size);

// Saves a picture of `widget` into the screenshot folder (when there is one)
// under `name`; at another scale than 1 the scale goes into the name.
void saveScreenshot(QWidget& widget, const std::string& name);

// `window`, once the system has grown it to its content, has every part
// laid out in the room it needs (none overlaps another), and every label has
// the room its text needs: none is cut at the side or at the bottom.
void expectNothingCut(QWidget& window);

// Runs `handler` on the next modal window named `objectName` once it is up
// (from inside its own event loop). Failing to see it within the bound is
// a test failure.
void whenModal(const QString& objectName, std::function<void(QWidget&)> handler);
// A click on the button or check box named control<id> in `window`.
void clickIn(QWidget& window, int id);

// One programmer window on the emulator configured by `emulator`.
class Session {
public:
    Session(const std::string& emulator, const Texts& texts = kTextsEn,
            const std::string& image = std::string());
    ~Session();

    ProgrammerApp& app() { return *app_; }
    ProgrammerForm& form() { return app_->form(); }
    AppState& state() { return *state_; }

    void click(int id);
    // Opens the menu that holds item `id` with a click on the menu bar, then
    // clicks the item; false when the item is greyed (the menu is closed).
    bool clickMenu(int id);
    // The close box.
    void closeBox();
    bool enabled(int id);
    std::string text(int id);
    std::vector<std::string> log();
    bool waitForLine(const std::string& line);
    // Waits for the window's worker to end.
    bool waitIdle();

private:
    std::unique_ptr<AppState> state_;
    std::unique_ptr<ProgrammerApp> app_;
};

}  // namespace qtgui
