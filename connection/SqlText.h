#pragma once
// Escaping of values placed inside statement texts. Every statement the program builds puts
// names between [ and ] and paths between ' and ' (or N' and '); these make the value stay a
// value, whatever characters it holds.

#include <QString>

namespace SqlText {

// Content for inside [...]: "]" doubled.
QString bracketed(const QString& name);

// Content for inside '...' or N'...': "'" doubled.
QString literal(const QString& text);

} // namespace SqlText
