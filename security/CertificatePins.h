#pragma once
// The certificates the user trusted, one per server, and the servers for which the user chose
// encryption without verification because the driver cannot pin. Kept in an INI file in the
// user's configuration directory, readable by the owner only.

#include "CertificateInfo.h"

#include <QList>
#include <QString>

#include <optional>

struct TrustedServer {
    QString server;                        // as the user typed it
    std::optional<CertificateInfo> pinned; // empty when only "unverified" was chosen
    bool unverifiedAllowed = false;
};

class CertificatePins {
public:
    // certificates.ini in the application's configuration directory.
    static QString defaultFilePath();

    explicit CertificatePins(QString filePath = defaultFilePath());

    // Server names compare without regard to case and surrounding blanks.
    std::optional<CertificateInfo> lookup(const QString& server) const;
    bool allowsUnverified(const QString& server) const;
    QList<TrustedServer> list() const;

    // Each writes the file at once; false when it cannot be written.
    bool pin(const QString& server, const CertificateInfo& certificate);
    bool allowUnverified(const QString& server);
    bool forget(const QString& server);

    QString filePath() const { return filePath_; }

private:
    bool store(const QList<TrustedServer>& servers) const;

    QString filePath_;
};
