#include "tests/support/headless/headless_app.h"

HeadlessApp::HeadlessApp(AppState& state, std::string programPath)
    : window_(host_, state, std::move(programPath)) {}

HeadlessApp::~HeadlessApp() {
    // Workers use the window; it must outlive them.
    host_.waitForWorkers(std::chrono::seconds(600));
}

void HeadlessApp::start() {
    host_.call([this] { host_.events()->onStart(); });
}

bool HeadlessApp::press(int id) {
    return host_.call([this, id] { host_.events()->onCommand(id); });
}

bool HeadlessApp::deviceArrived() {
    return host_.call([this] { host_.events()->onDeviceArrived(); });
}

bool HeadlessApp::deviceRemoved() {
    return host_.call([this] { host_.events()->onDeviceRemoved(); });
}

int HeadlessApp::requestClose() {
    int answer = -1;
    host_.call([&] { answer = host_.events()->onCloseRequest(); });
    return answer;
}

bool HeadlessApp::waitIdle(std::chrono::milliseconds timeout) {
    return host_.waitForWorkers(timeout);
}
