#pragma once
// The simulated server's version as SERVERPROPERTY('ProductVersion') spells it ("15.0.2000.5"),
// and the on-disk database version that goes with its major number.

#include <QString>
#include <QStringList>

namespace sqlsim {

struct ServerVersion {
    int major = 15;
    int minor = 0;
    int build = 2000;

    // Missing or unreadable parts keep their defaults.
    static ServerVersion parse(const QString& productVersion) {
        ServerVersion v;
        const QStringList parts = productVersion.split(u'.');
        bool ok = false;
        if (const int n = parts.value(0).toInt(&ok); ok)
            v.major = n;
        if (const int n = parts.value(1).toInt(&ok); ok)
            v.minor = n;
        if (const int n = parts.value(2).toInt(&ok); ok)
            v.build = n;
        return v;
    }

    // DatabaseVersion of RESTORE HEADERONLY: 706 for 2012 (11) up to 957 for 2022 (16); widely
    // published values, the 2022 one confirmed in a real transcript.
    int databaseVersion() const {
        switch (major) {
        case 10:
            return 661;
        case 11:
            return 706;
        case 12:
            return 782;
        case 13:
            return 852;
        case 14:
            return 869;
        case 15:
            return 904;
        case 16:
            return 957;
        default:
            return major < 10 ? 655 : 957 + (major - 16) * 50;
        }
    }
};

} // namespace sqlsim
