#pragma once

class QLineEdit;
class TADOConnection;
class TFrmSelPath;

// The backup page's picker button: asks for a server directory and puts it, ending in "\",
// into the path box; leaving the picker without a pick empties the box.
void pickBackupDirectory(TADOConnection& connection, TFrmSelPath& picker, QLineEdit* EdtPath);
