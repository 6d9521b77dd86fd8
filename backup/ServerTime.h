#pragma once

#include <QString>

class TADOConnection;

// The server's clock as 14 digits: year, month, day, hour (00-23), minute, second.
QString GetServerTime(TADOConnection& connection);
