#include "qt_fixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QLayout>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/process_entry.h"
#include "device/devapi.h"
#include "usb/usb_select.h"

namespace qtgui {

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
    return QTest::qWaitFor(done, static_cast<int>(bound.count()));
}

std::string scratch(const std::string& name) {
    const char* base = std::getenv("VM612K_TEST_TMP");
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path folder = std::filesystem::path(base != nullptr ? base : "/tmp") /
                                   (std::string(info->test_suite_name()) + "." + info->name());
    std::filesystem::create_directories(folder);
    return (folder / name).string();
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::uint8_t> testImage(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 4096);
    return bytes;
}

void saveScreenshot(QWidget& widget, const std::string& name) {
    const char* folder = std::getenv("VM612K_GUI_SCREENSHOTS");
    if (folder == nullptr || *folder == '\0') return;
    std::filesystem::create_directories(folder);
    std::string file = name;
    const qreal scale = widget.devicePixelRatioF();
    if (scale != 1.0) file += "-" + std::to_string(static_cast<int>(scale * 100));
    QApplication::processEvents();
    EXPECT_TRUE(widget.grab().save(QString::fromStdString(std::string(folder) + "/" + file + ".png")));
}

namespace {
void expectRoomForEveryPart(QWidget& window, const char* when) {
    QApplication::processEvents();
    // No part laid out smaller than its layout allows: none overlaps another.
    QList<QWidget*> parts = window.findChildren<QWidget*>();
    parts << &window;
    for (QWidget* part : parts) {
        if (!part->isVisibleTo(&window) || part->layout() == nullptr) continue;
        const QSize least = part->layout()->totalMinimumSize();
        EXPECT_TRUE(part->width() >= least.width() && part->height() >= least.height())
            << when << ": " << part->objectName().toStdString() << " is " << part->width() << "x"
            << part->height() << ", its parts need " << least.width() << "x" << least.height();
    }
    for (QLabel* label : window.findChildren<QLabel*>()) {
        if (!label->isVisibleTo(&window) || label->text().isEmpty()) continue;
        const QSize need(label->wordWrap() ? 0 : label->sizeHint().width(),
                         label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height());
        EXPECT_TRUE(label->width() >= need.width() && label->height() >= need.height())
            << when << ": " << label->objectName().toStdString() << " is " << label->width() << "x"
            << label->height() << " for " << need.width() << "x" << need.height() << ": "
            << label->text().toStdString();
    }
}
}  // namespace

void expectNothingCut(QWidget& window) {
    // A window the system is still growing to its content.
    waitUntil([&] { return window.size().expandedTo(window.sizeHint()) == window.size(); });
    expectRoomForEveryPart(window, "grown");
    // As small as it may be made, the window scrolls what does not fit.
    const QSize grown = window.size();
    window.resize(window.minimumSize());
    EXPECT_TRUE(waitUntil([&] { return window.size() == window.minimumSize(); }));
    expectRoomForEveryPart(window, "at its smallest");
    window.resize(grown);
    EXPECT_TRUE(waitUntil([&] { return window.size() == grown; }));
}

void whenModal(const QString& objectName, std::function<void(QWidget&)> handler) {
    auto* poll = new QTimer;
    auto started = std::chrono::steady_clock::now();
    QObject::connect(poll, &QTimer::timeout, [poll, objectName, handler, started] {
        QWidget* modal = QApplication::activeModalWidget();
        // Clicks go by position through the window: it must be on the
        // screen, laid out, first.
        if (modal != nullptr && modal->objectName() == objectName && modal->isVisible() &&
            modal->windowHandle() != nullptr && modal->windowHandle()->isExposed()) {
            poll->stop();
            poll->deleteLater();
            handler(*modal);
        } else if (std::chrono::steady_clock::now() - started > kWaitBound) {
            poll->stop();
            poll->deleteLater();
            ADD_FAILURE() << "no modal window " << objectName.toStdString();
        }
    });
    poll->start(10);
}

void clickIn(QWidget& window, int id) {
    auto* button = window.findChild<QAbstractButton*>(QString("control%1").arg(id));
    ASSERT_NE(button, nullptr) << id;
    QTest::mouseClick(button, Qt::LeftButton);
}

namespace {
AppState& freshStart(AppState& state, const std::string& emulator, const Texts& texts,
                     const std::shared_ptr<DeviceChangeRelay>& relay) {
    useTexts(texts);
    DevResetForTests();
    DevUseServices(selectUsbServicesFrom(emulator, nullptr, nullptr, [relay](bool plugged) {
        relay->deliver(plugged ? DeviceChange::Arrived : DeviceChange::Removed);
    }));
    return state;
}
}  // namespace

Session::Session(const std::string& emulator, const Texts& texts, const std::string& image)
    : state_(std::make_unique<AppState>()) {
    auto relay = std::make_shared<DeviceChangeRelay>();
    freshStart(*state_, emulator, texts, relay);
    if (!image.empty()) rememberStartupFile(*state_, {"vm_qt_scenarios", image});
    app_ = std::make_unique<ProgrammerApp>(*state_, "vm_qt_scenarios", relay, false);
    app_->start();
    QApplication::setActiveWindow(&app_->form());
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&app_->form()));
}

Session::~Session() {
    QtHost& host = app_->host();
    if (!host.windowEnded()) host.endWindow(0);
    if (!host.waitForWorkers(std::chrono::minutes(2))) {
        std::fprintf(stderr, "a worker did not end\n");
        std::abort();
    }
    app_.reset();
    useTexts(kTextsEn);
}

void Session::click(int id) {
    QWidget* control = form().control(id);
    ASSERT_NE(control, nullptr) << id;
    QTest::mouseClick(control, Qt::LeftButton);
}

bool Session::clickMenu(int id) {
    QAction* item = form().menuItem(id);
    if (item == nullptr) return false;
    auto* menu = qobject_cast<QMenu*>(item->parent());
    if (menu == nullptr) return false;
    QMenuBar* bar = form().menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
    if (!waitUntil([&] { return menu->isVisible(); })) return false;
    const bool live = item->isEnabled();
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    if (menu->isVisible()) QTest::keyClick(menu, Qt::Key_Escape);
    waitUntil([&] { return !menu->isVisible(); });
    return live;
}

void Session::closeBox() { form().close(); }

bool Session::enabled(int id) {
    if (QWidget* control = form().control(id)) return control->isEnabled();
    QAction* item = form().menuItem(id);
    return item != nullptr && item->isEnabled();
}

std::string Session::text(int id) { return app_->host().controlText(id); }

std::vector<std::string> Session::log() {
    std::vector<std::string> lines;
    QListWidget* list = form().log();
    for (int i = 0; i < list->count(); ++i) lines.push_back(list->item(i)->text().toStdString());
    return lines;
}

bool Session::waitForLine(const std::string& line) {
    return waitUntil([&] {
        const auto lines = log();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    });
}

bool Session::waitIdle() {
    return waitUntil([&] { return !app_->window().workerRunning(); });
}

}  // namespace qtgui
