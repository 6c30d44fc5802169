#include "desktop/qt_dialogs.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "app/control_ids.h"
#include "texts/texts.h"

namespace {
QString t(const char* text) { return QString::fromUtf8(text); }

QPushButton* button(int id, const char* text, QWidget* parent) {
    auto* b = new QPushButton(t(text), parent);
    b->setObjectName(QString("control%1").arg(id));
    return b;
}

// Escape ends neither small dialog, as in the Windows program: only its
// buttons and its close box do.
class NoEscapeDialog final : public QDialog {
public:
    explicit NoEscapeDialog(QWidget* owner) : QDialog(owner) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape) {
            event->accept();
            return;
        }
        QDialog::keyPressEvent(event);
    }
};

QLabel* iconLabel(QWidget* parent) {
    auto* picture = new QLabel(parent);
    const int side = parent->fontMetrics().height() * 2;
    picture->setPixmap(appIcon().pixmap(side, side));
    picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    return picture;
}
}  // namespace

QIcon appIcon() {
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QString(":/icons/%1.png").arg(side), QSize(side, side));
    }
    return icon;
}

void showMessageBox(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon) {
    QMessageBox::Icon shown = QMessageBox::Information;
    if (icon == MessageIcon::Warning) shown = QMessageBox::Warning;
    if (icon == MessageIcon::Error) shown = QMessageBox::Critical;
    QMessageBox box(shown, caption, text, QMessageBox::Ok, owner);
    box.setObjectName("messageBox");
    box.exec();
}

QStringList fileChooserFilters(const FileDialogParams& params) {
    QStringList filters;
    for (int i = 0; params.filters != nullptr && i < params.filterCount; ++i) {
        const QString text = t(params.filters[2 * i]);
        const QString pattern = t(params.filters[2 * i + 1]);
        const QString tail = "(" + pattern + ")";
        filters << (text.endsWith(tail) ? text : text + " " + tail);
    }
    return filters;
}

FileDialogResult runFileChooser(QWidget* owner, const FileDialogParams& params, FileChooserKind kind) {
    QFileDialog dialog(owner, t(params.title));
    dialog.setObjectName(kind == FileChooserKind::Open ? "openFileDialog" : "saveFileDialog");
    // Qt's own chooser: the same on every desktop, and one a test can drive.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(fileChooserFilters(params));
    dialog.setDefaultSuffix(t(params.defaultExtension));
    if (kind == FileChooserKind::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(params.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !params.promptOverwrite);
    }
    dialog.setOption(QFileDialog::DontResolveSymlinks, params.noDereferenceLinks);

    FileDialogResult result;
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return result;
    result.chosen = true;
    result.path = QFile::encodeName(dialog.selectedFiles().front()).toStdString();
    const std::size_t slash = result.path.rfind('/');
    result.nameOffset = slash == std::string::npos ? 0 : slash + 1;
    return result;
}

void runAboutDialog(QWidget* owner) {
    const Texts& x = txt();
    NoEscapeDialog dialog(owner);
    dialog.setObjectName("aboutDialog");
    dialog.setWindowTitle(t(x.aboutTitle));
    auto* row = new QHBoxLayout(&dialog);
    row->addWidget(iconLabel(&dialog));
    auto* column = new QVBoxLayout;
    auto* line = new QLabel(t(x.aboutLine), &dialog);
    line->setTextFormat(Qt::PlainText);
    column->addWidget(line);
    auto* address = new QLabel(t(x.aboutAddress), &dialog);
    address->setTextFormat(Qt::PlainText);
    column->addWidget(address);
    auto* ok = button(ids::kAboutOk, x.aboutOk, &dialog);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    column->addWidget(ok, 0, Qt::AlignRight);
    row->addLayout(column);
    dialog.exec();
}

bool runOneKeyOptionsDialog(QWidget* owner, const OneKeyChoice& initial, OneKeyChoice& result) {
    const Texts& x = txt();
    NoEscapeDialog dialog(owner);
    dialog.setObjectName("oneKeyDialog");
    dialog.setWindowTitle(t(x.oneKeyTitle));
    dialog.setWindowIcon(appIcon());
    auto* row = new QHBoxLayout(&dialog);
    row->addWidget(iconLabel(&dialog));
    auto* boxes = new QVBoxLayout;
    auto box = [&](int id, const char* text, int on) {
        auto* b = new QCheckBox(t(text), &dialog);
        b->setObjectName(QString("control%1").arg(id));
        b->setChecked(on != 0);
        boxes->addWidget(b);
        return b;
    };
    QCheckBox* erase = box(ids::kOneKeyErase, x.oneKeyErase, initial.erase);
    QCheckBox* program = box(ids::kOneKeyProgram, x.oneKeyProgram, initial.program);
    QCheckBox* verify = box(ids::kOneKeyVerify, x.oneKeyVerify, initial.verify);
    row->addLayout(boxes);
    auto* buttons = new QVBoxLayout;
    QPushButton* ok = button(ids::kOneKeyOk, x.oneKeyOk, &dialog);
    ok->setDefault(true);
    QPushButton* cancel = button(ids::kOneKeyCancel, x.oneKeyCancel, &dialog);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    row->addLayout(buttons);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted) return false;
    result.erase = erase->isChecked() ? 1 : 0;
    result.program = program->isChecked() ? 1 : 0;
    result.verify = verify->isChecked() ? 1 : 0;
    return true;
}
