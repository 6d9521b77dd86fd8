#pragma once
// The process-wide reference to the one server connection, so the main window and both
// picker dialogs reach the same object. The main window sets it in FormCreate and clears it
// in FormDestroy; it never owns anything itself.

class TADOConnection;

TADOConnection* ServerConnection();
void setServerConnection(TADOConnection* connection);
