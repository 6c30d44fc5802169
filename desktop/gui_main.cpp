// vm612k-gui: the programmer window on Qt. The text set and the USB
// services are chosen before the window exists; the window runs until it
// ends; a worker still running then (an erase) is waited for within its
// bound before anything it uses is destroyed.
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/process_entry.h"
#include "texts/texts.h"
#include "device/devapi.h"
#include "platform/process.h"
#include "desktop/gui_options.h"
#include "desktop/programmer_app.h"
#include "usb/usb_select.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const GuiOptions options = parseGuiOptions(arguments);
    if (options.help) {
        std::fputs(kGuiUsage, stdout);
        return 0;
    }
    if (!options.error.empty()) {
        std::fprintf(stderr, "vm612k-gui: %s\n%s", options.error.c_str(), kGuiUsage);
        return 2;
    }
    useTexts(options.chinese ? kTextsSc : kTextsEn);

    QApplication::setApplicationName("vm612k-gui");
    QApplication::setDesktopFileName("vm612k-gui");
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);

    // The window's session lives as long as the process: a worker that
    // outlives the window may still use it.
    AppState& state = *new AppState();
    if (options.image && !options.station) rememberStartupFile(state, {"vm612k-gui", *options.image});

    auto relay = std::make_shared<DeviceChangeRelay>();
    std::string simError;
    DevUseServices(selectUsbServicesFrom(options.simConfig, std::getenv(kSimEnvironmentVariable), &simError,
                                         [relay](bool plugged) {
                                             relay->deliver(plugged ? DeviceChange::Arrived
                                                                    : DeviceChange::Removed);
                                         }));
    if (!simError.empty()) std::fprintf(stderr, "vm612k-gui: emulator: %s\n", simError.c_str());

    const bool emulated = options.simConfig || std::getenv(kSimEnvironmentVariable) != nullptr;
    auto& app = *new ProgrammerApp(state, platform::programPath(argv[0]), relay, !emulated);
    QObject::connect(&app.host(), &QtHost::windowFinished, &application, &QApplication::exit);
    app.start();
    if (options.station) {
        StationBoard& board = app.stationBoard();
        board.setImage(QString::fromStdString(*options.image));
        board.show();
        board.start();
    } else if (options.stationJob) {
        StationBoard& board = app.stationBoard();
        board.setTrustedKeys(options.trustedKeys);
        board.show();
        if (board.openJob(QString::fromStdString(*options.stationJob))) board.start();
    }
    const int code = app.host().windowEnded() ? app.host().endCode() : application.exec();

    // A worker that outlived its bound still uses the window and the device
    // layer: the process ends around it.
    if (!app.waitForWorkersAtExit()) std::_Exit(code < 0 ? 1 : code);
    delete &app;
    return code;
}
