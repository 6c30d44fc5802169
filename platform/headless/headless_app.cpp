#include "platform/headless/headless_app.h"

HeadlessApp::HeadlessApp(AppState& state, std::string programPath)
    : window_(host_, state, std::move(programPath)) {
    host_.setTimerHandler([this](int id) { window_.onTimer(id); });
}

HeadlessApp::~HeadlessApp() {
    // Workers use the window; it must outlive them.
    host_.waitForWorkers(std::chrono::seconds(600));
}

void HeadlessApp::start() {
    host_.call([this] { window_.onStart(); });
}

bool HeadlessApp::press(int id) {
    return host_.call([this, id] { window_.onCommand(id); });
}

bool HeadlessApp::deviceChange(unsigned eventCode) {
    return host_.call([this, eventCode] { window_.onDeviceChange(eventCode); });
}

int HeadlessApp::requestClose() {
    int answer = -1;
    host_.call([&] { answer = window_.closeMainWindow(); });
    return answer;
}

bool HeadlessApp::waitIdle(std::chrono::milliseconds timeout) {
    return host_.waitForWorkers(timeout);
}
