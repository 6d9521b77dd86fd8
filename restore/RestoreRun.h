#pragma once
// The restore button: checks the page, checks every target path on the server, then
// restores the chosen backup set under the chosen database name.

#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class TADOConnection;
class THtStringGrid;

// The controls of the restore page that the run reads (the grid is also focused and its
// current cell moved when a target path needs correcting).
struct RestorePage {
    QComboBox* CmbDb = nullptr;      // target database name, typed or chosen
    QLineEdit* EdtBakFile = nullptr; // backup file on the server
    QComboBox* CmbBfj = nullptr;     // chosen backup set, "<position> <finish time>"
    THtStringGrid* Grid = nullptr;   // rows 1..: logical name, target physical path
    QCheckBox* ChkRestore = nullptr; // replace an existing database
};

// Runs a press of the restore button. Guards and path problems are shown to the user and end
// the press; failures of the server (path check, RESTORE) and of refillDatabaseLists are
// raised to the caller. The RESTORE itself runs without the statement time-out, so a long
// restore WITH REPLACE is never cut off half-way by the client.
void runRestore(TADOConnection& connection, const RestorePage& page, const std::function<void()>& refillDatabaseLists);
