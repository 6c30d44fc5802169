// What the application tells the operator: the log list, the progress bar and
// the two command groups. Callable from the window's thread and from a worker;
// a worker's call is a synchronous request carried out on the window's thread.
#pragma once

#include <string>

class MainWindow;

constexpr unsigned kLogLineLimit = 32767;

void appendLog(MainWindow& window, const std::string& text);
// appendLog with a printf-style format.
void appendLogf(MainWindow& window, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

void setOperationControls(MainWindow& window, bool on);
void setSetupControls(MainWindow& window, bool on);
void setAllControls(MainWindow& window, bool on);

// Progress bar 1010: range 0..100 and position 0 at the start of a phase.
void progressStart(MainWindow& window);
void progressSetPos(MainWindow& window, int id, int pos);
void progressSetPos(MainWindow& window, int pos);
