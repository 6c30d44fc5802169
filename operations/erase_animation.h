// The progress bar's animation while a whole-flash erase runs: timer 3 of
// the main window moves the bar 1, 2, ... 100, 0, 1, ... every 100 ms.
#pragma once

class MainWindow;

// Resets the counter, remembers the bar to move and starts timer 3.
void startEraseAnimation(MainWindow& window, int progressId);
void stopEraseAnimation(MainWindow& window);
// Timer 3 fired (on the window's thread).
void eraseAnimationTick(MainWindow& window);
