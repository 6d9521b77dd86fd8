#pragma once
// Reading a backup file on the server: its backup sets into the set list, and the database
// files of the chosen set into the grid.

#include <QString>

class QComboBox;
class TADOConnection;
class THtStringGrid;

// Empties CmbBfj (even when the header then cannot be read) and lists one entry per backup
// set, in the server's order, none chosen. Fills the list without raising its change signals.
// Throws EDatabaseError when the server cannot read the file.
void FillBfjList(TADOConnection& connection, const QString& file, QComboBox* CmbBfj);

// Reads the file list of the set chosen in CmbBfj into the grid: column 0 the logical names,
// column 1 the physical paths, from row 1. Does nothing, silently, when no set is chosen, the
// file is empty or the connection is closed. A set without files leaves the grid untouched.
void readFileList(TADOConnection& connection, QComboBox* CmbBfj, const QString& bakFile, THtStringGrid* Grid);
