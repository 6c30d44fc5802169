#include "desktop/qt_host.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <thread>

#include "app/control_ids.h"
#include "desktop/programmer_form.h"
#include "desktop/qt_dialogs.h"
#include "app/window_request.h"

namespace {
// How long a worker's request may wait for the window's thread to take it.
constexpr auto kRequestBound = std::chrono::seconds(120);

QString fromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }
}  // namespace

// A request in flight, shared by the worker that waits for it and the
// window's thread. One the worker took back at its bound is dropped unrun.
// The live workers of a host. Shared with each worker's thread, so that a
// worker that outlives its host still has it to count down.
struct QtHost::Workers {
    std::mutex m;
    std::condition_variable idle;
    int live = 0;
};

QtHost::QtHost(ProgrammerForm* form) : form_(form), workers_(std::make_shared<Workers>()) {}

QtHost::~QtHost() { abandonPending(); }

void QtHost::bind(ProgrammerForm& form) { form_ = &form; }

void QtHost::startWindow() {
    ended_ = false;
    if (form_ != nullptr) {
        connect(form_, &ProgrammerForm::command, this, [this](int id) {
            if (events() != nullptr) events()->onCommand(id);
        });
        connect(form_, &ProgrammerForm::closeRequested, this, [this] {
            if (events() != nullptr && !ended_) events()->onCloseRequest();
        });
    }
    if (events() != nullptr) events()->onStart();
}

void QtHost::setControlText(int id, const std::string& text) {
    if (form_ == nullptr) return;
    QWidget* w = form_->control(id);
    if (auto* b = qobject_cast<QPushButton*>(w)) b->setText(fromUtf8(text));
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(fromUtf8(text));
        e->setCursorPosition(0);
    }
    if (auto* l = qobject_cast<QLabel*>(w)) l->setText(fromUtf8(text));
    if (id == ids::kChecksumField) emit imageSummaryShown();
}

std::string QtHost::controlText(int id) const {
    if (form_ == nullptr) return {};
    QWidget* w = form_->control(id);
    QString text;
    if (auto* b = qobject_cast<QPushButton*>(w)) text = b->text();
    if (auto* e = qobject_cast<QLineEdit*>(w)) text = e->text();
    if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
    if (auto* c = qobject_cast<QComboBox*>(w)) text = c->currentText();
    return text.toUtf8().toStdString();
}

void QtHost::enableControl(int id, bool on) {
    if (form_ == nullptr) return;
    if (QWidget* w = form_->control(id)) w->setEnabled(on);
}

void QtHost::enableMenuItem(int id, bool on) {
    if (form_ == nullptr) return;
    if (QAction* a = form_->menuItem(id)) a->setEnabled(on);
}

void QtHost::listAddString(int id, const std::string& text) {
    if (form_ == nullptr) return;
    if (auto* c = qobject_cast<QComboBox*>(form_->control(id))) c->addItem(fromUtf8(text));
}

void QtHost::listSelect(int id, int index) {
    if (form_ == nullptr) return;
    if (auto* c = qobject_cast<QComboBox*>(form_->control(id))) c->setCurrentIndex(index);
}

int QtHost::listSelection(int id) const {
    if (form_ == nullptr) return -1;
    auto* c = qobject_cast<QComboBox*>(form_->control(id));
    return c != nullptr ? c->currentIndex() : -1;
}

void QtHost::logAppend(const std::string& line) {
    if (form_ != nullptr) form_->log()->addItem(fromUtf8(line));
}

int QtHost::logLineCount() const { return form_ != nullptr ? form_->log()->count() : 0; }

void QtHost::logDeleteLine(int index) {
    if (form_ != nullptr) delete form_->log()->takeItem(index);
}

void QtHost::logSetTopIndex(int index) {
    if (form_ == nullptr) return;
    if (QListWidgetItem* item = form_->log()->item(index)) {
        form_->log()->scrollToItem(item, QAbstractItemView::PositionAtTop);
    }
}

void QtHost::progressSetRange(int low, int high) {
    if (form_ != nullptr) form_->progress()->setRange(low, high);
}

void QtHost::progressSetPos(int pos) {
    if (form_ != nullptr) form_->progress()->setValue(pos);
}

void QtHost::messageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
    showMessageBox(form_, fromUtf8(text), fromUtf8(caption), icon);
}

FileDialogResult QtHost::chooseOpenFile(const FileDialogParams& params) {
    return runFileChooser(form_, params, FileChooserKind::Open);
}

FileDialogResult QtHost::chooseSaveFile(const FileDialogParams& params) {
    return runFileChooser(form_, params, FileChooserKind::Save);
}

void QtHost::runAboutBox() { runAboutDialog(form_); }

bool QtHost::runOneKeyDialog(const OneKeyChoice& initial, OneKeyChoice& result) {
    return runOneKeyOptionsDialog(form_, initial, result);
}

void QtHost::setTimer(int id, int periodMs) {
    auto& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        connect(timer.get(), &QTimer::timeout, this, [this, id] {
            if (events() != nullptr && !ended_) events()->onTimer(id);
        });
    }
    timer->start(periodMs);
}

void QtHost::killTimer(int id) {
    auto found = timers_.find(id);
    if (found != timers_.end()) found->second->stop();
}

void QtHost::endWindow(int code) {
    ended_ = true;
    endCode_ = code;
    for (auto& entry : timers_) entry.second->stop();
    abandonPending();
    if (form_ != nullptr) form_->hide();
    emit windowFinished(code);
}

bool QtHost::startWorker(std::function<void()> body) {
    std::shared_ptr<Workers> workers = workers_;
    {
        std::lock_guard<std::mutex> lock(workers->m);
        ++workers->live;
    }
    try {
        std::thread([workers, body = std::move(body)] {
            body();
            std::lock_guard<std::mutex> lock(workers->m);
            --workers->live;
            workers->idle.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> lock(workers->m);
        --workers->live;
        return false;
    }
    return true;
}

bool QtHost::waitForWorkers(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(workers_->m);
    return workers_->idle.wait_for(lock, bound, [this] { return workers_->live == 0; });
}

void QtHost::runRequest(const std::shared_ptr<WindowRequest>& r) {
    {
        std::lock_guard<std::mutex> lock(pendingLock_);
        pending_.erase(r);
    }
    r->run(ended_);
}

// Requests still queued when the window ends are dropped at once: their
// senders must not wait for an event loop that may never run again.
void QtHost::abandonPending() {
    std::set<std::shared_ptr<WindowRequest>> pending;
    {
        std::lock_guard<std::mutex> lock(pendingLock_);
        pending.swap(pending_);
    }
    for (const auto& r : pending) r->abandon();
}

bool QtHost::runOnWindowThread(const std::function<void()>& request) {
    if (QThread::currentThread() == thread()) {
        request();
        return true;
    }
    if (ended_) return false;
    auto r = std::make_shared<WindowRequest>(request);
    {
        std::lock_guard<std::mutex> lock(pendingLock_);
        pending_.insert(r);
    }
    // The window may have ended between the check and the queueing.
    if (ended_) abandonPending();
    QMetaObject::invokeMethod(this, [this, r] { runRequest(r); }, Qt::QueuedConnection);
    const bool ran = r->awaitEnd(std::chrono::steady_clock::now() + kRequestBound);
    std::lock_guard<std::mutex> pendingGuard(pendingLock_);
    pending_.erase(r);
    return ran;
}
