#include "untPublic.h"

namespace {
TADOConnection* g_serverConnection = nullptr;
}

TADOConnection* ServerConnection() { return g_serverConnection; }

void setServerConnection(TADOConnection* connection) { g_serverConnection = connection; }
