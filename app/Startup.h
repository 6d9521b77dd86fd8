#pragma once
// Program start-up and shutdown: the application object, its title, translations and fonts,
// the main window (which creates the server connection and runs discovery), then the message
// loop; when the main window closes, every window is destroyed and the connection freed.

class QApplication;

// Title, Qt's Chinese standard-button texts and font substitutions; before any window exists.
void prepareApplication(QApplication& app);

// Creates the windows, shows the main window centred and runs the loop. Returns the exit code.
int runProgram(QApplication& app);
