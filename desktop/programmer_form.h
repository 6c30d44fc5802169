// The programmer window's widgets: the controls of the Windows program's
// main dialog, in the same groups and order, with its menu. Each control and
// menu item is known by its id; a press is reported as command(id) and the
// close box as closeRequested(), which leaves the window open: the logic
// decides.
#pragma once

#include <QMainWindow>

#include <map>

class QAction;
class QComboBox;
class QListWidget;
class QProgressBar;

class ProgrammerForm final : public QMainWindow {
    Q_OBJECT

public:
    explicit ProgrammerForm(QWidget* parent = nullptr);

    // The control or menu item with that id; null when there is none.
    QWidget* control(int id) const;
    QAction* menuItem(int id) const;
    QListWidget* log() const { return log_; }
    QProgressBar* progress() const { return progress_; }
    // Adds an item to the File menu's end (the front end's extra windows).
    QAction* addFileMenuItem(const QString& text);

signals:
    void command(int id);
    void closeRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildChipGroup();
    QWidget* buildFileGroup();
    QWidget* buildOperationRow();
    void buildMenu();
    void addButton(int id, const char* text, QWidget* parent, class QBoxLayout* row);

    std::map<int, QWidget*> controls_;
    std::map<int, QAction*> menuItems_;
    class QMenu* fileMenu_ = nullptr;
    QAction* beforeExit_ = nullptr;
    QListWidget* log_ = nullptr;
    QProgressBar* progress_ = nullptr;
};
