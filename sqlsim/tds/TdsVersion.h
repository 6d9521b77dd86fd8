#pragma once
// TDS versions as LOGIN7 carries them (read little-endian) and LOGINACK echoes them (big-endian).

#include <QtGlobal>

namespace sqlsim::tds {

constexpr quint32 kTds71 = 0x71000001;
constexpr quint32 kTds72 = 0x72090002;
constexpr quint32 kTds73B = 0x730B0003;
constexpr quint32 kTds74 = 0x74000004;

// Widths that changed with 7.2: DONE row counts, UserType, INFO/ERROR line numbers, ALL_HEADERS.
inline bool isTds72OrLater(quint32 version) { return (version >> 24) >= 0x72; }

// The version the server answers with: the client's, capped at 7.4, at least 7.1.
inline quint32 negotiatedVersion(quint32 requested) {
    if ((requested >> 24) >= 0x74)
        return kTds74;
    if ((requested >> 24) < 0x71)
        return kTds71;
    return requested;
}

} // namespace sqlsim::tds
