#include "desktop/programmer_form.h"

#include <QAction>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>

#include "app/control_ids.h"
#include "texts/texts.h"

namespace {
QString t(const char* text) { return QString::fromUtf8(text); }
}  // namespace

ProgrammerForm::ProgrammerForm(QWidget* parent) : QMainWindow(parent) {
    setObjectName("programmerWindow");
    setWindowTitle(t(txt().mainTitle));
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->addWidget(buildChipGroup());
    column->addWidget(buildFileGroup());
    column->addWidget(buildOperationRow());

    log_ = new QListWidget(central);
    log_->setObjectName("log");
    log_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    log_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log_->setTextElideMode(Qt::ElideNone);
    column->addWidget(log_, 1);
    controls_[ids::kLogList] = log_;

    progress_ = new QProgressBar(central);
    progress_->setObjectName("progress");
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    column->addWidget(progress_);
    controls_[ids::kProgressBar] = progress_;

    setCentralWidget(central);
    buildMenu();
    // The dialog's proportions: 330 x 246 dialog units of an 11-point face.
    const int em = fontMetrics().averageCharWidth();
    const int line = fontMetrics().height();
    resize(qMax(sizeHint().width(), 82 * em), qMax(sizeHint().height(), 30 * line));
}

void ProgrammerForm::addButton(int id, const char* text, QWidget* parent, QBoxLayout* row) {
    auto* button = new QPushButton(t(text), parent);
    button->setObjectName(QString("control%1").arg(id));
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, id] { emit command(id); });
    row->addWidget(button);
    controls_[id] = button;
}

QWidget* ProgrammerForm::buildChipGroup() {
    const Texts& x = txt();
    auto* group = new QGroupBox(t(x.groupChipSetting));
    auto* row = new QHBoxLayout(group);
    row->addWidget(new QLabel(t(x.labelFlashSize), group));
    auto* sizes = new QComboBox(group);
    sizes->setObjectName(QString("control%1").arg(ids::kFlashSizeList));
    sizes->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    sizes->setMinimumContentsLength(7);
    row->addWidget(sizes);
    controls_[ids::kFlashSizeList] = sizes;
    row->addStretch(1);
    addButton(ids::kSetFlash, x.buttonSetFlash, group, row);
    addButton(ids::kConnect, x.buttonConnect, group, row);
    addButton(ids::kDisconnect, x.buttonDisconnect, group, row);
    return group;
}

QWidget* ProgrammerForm::buildFileGroup() {
    const Texts& x = txt();
    auto* group = new QGroupBox(t(x.groupFile));
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel(t(x.labelLoad), group), 0, 0);
    auto* path = new QLineEdit(group);
    path->setObjectName(QString("control%1").arg(ids::kPathField));
    path->setReadOnly(true);
    grid->addWidget(path, 0, 1, 1, 3);
    controls_[ids::kPathField] = path;
    auto* load = new QHBoxLayout;
    addButton(ids::kLoad, x.buttonLoad, group, load);
    grid->addLayout(load, 0, 4);

    grid->addWidget(new QLabel(t(x.labelBufferedSize), group), 1, 0);
    auto* size = new QLabel(group);
    size->setObjectName(QString("control%1").arg(ids::kSizeField));
    size->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(size, 1, 1);
    controls_[ids::kSizeField] = size;
    grid->addWidget(new QLabel(t(x.labelCheckSum), group), 1, 2);
    auto* sum = new QLabel(group);
    sum->setObjectName(QString("control%1").arg(ids::kChecksumField));
    sum->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(sum, 1, 3, 1, 2);
    controls_[ids::kChecksumField] = sum;
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return group;
}

QWidget* ProgrammerForm::buildOperationRow() {
    const Texts& x = txt();
    auto* strip = new QWidget;
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(0, 0, 0, 0);
    addButton(ids::kErase, x.buttonErase, strip, row);
    addButton(ids::kBlank, x.buttonBlank, strip, row);
    addButton(ids::kProgram, x.buttonProgram, strip, row);
    addButton(ids::kVerify, x.buttonVerify, strip, row);
    addButton(ids::kRead, x.buttonRead, strip, row);
    addButton(ids::kOneKey, x.buttonOneKey, strip, row);
    return strip;
}

void ProgrammerForm::buildMenu() {
    const Texts& x = txt();
    auto item = [this](QMenu* menu, int id, const char* text) {
        QAction* action = menu->addAction(t(text));
        action->setObjectName(QString("menu%1").arg(id));
        connect(action, &QAction::triggered, this, [this, id] { emit command(id); });
        menuItems_[id] = action;
        return action;
    };
    fileMenu_ = menuBar()->addMenu(t(x.menuFile));
    fileMenu_->setObjectName("fileMenu");
    item(fileMenu_, ids::kOpenFile, x.menuOpenFile);
    item(fileMenu_, ids::kSaveFile, x.menuSaveFile);
    beforeExit_ = item(fileMenu_, ids::kExit, x.menuExit);
    QMenu* about = menuBar()->addMenu(t(x.menuAbout));
    about->setObjectName("aboutMenu");
    item(about, ids::kAbout, x.menuAboutItem);
}

QAction* ProgrammerForm::addFileMenuItem(const QString& text) {
    auto* action = new QAction(text, fileMenu_);
    fileMenu_->insertAction(beforeExit_, action);
    return action;
}

QWidget* ProgrammerForm::control(int id) const {
    auto found = controls_.find(id);
    return found != controls_.end() ? found->second : nullptr;
}

QAction* ProgrammerForm::menuItem(int id) const {
    auto found = menuItems_.find(id);
    return found != menuItems_.end() ? found->second : nullptr;
}

void ProgrammerForm::closeEvent(QCloseEvent* event) {
    event->ignore();
    emit closeRequested();
}
