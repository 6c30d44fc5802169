// The modal windows of the programmer window on Qt: the message box, the
// file choosers, the about box and the one-key options dialog, with the
// texts, titles and choices of the Windows program's.
#pragma once

#include <QString>

#include "app/window_host.h"

class QWidget;

void showMessageBox(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon);

enum class FileChooserKind { Open, Save };
FileDialogResult runFileChooser(QWidget* owner, const FileDialogParams& params, FileChooserKind kind);
// The chooser's filter list: each pair as "text (pattern)", the pattern not
// repeated when the text already ends with it.
QStringList fileChooserFilters(const FileDialogParams& params);

void runAboutDialog(QWidget* owner);
bool runOneKeyOptionsDialog(QWidget* owner, const OneKeyChoice& initial, OneKeyChoice& result);

// The application icon, in every size the program carries.
class QIcon appIcon();
