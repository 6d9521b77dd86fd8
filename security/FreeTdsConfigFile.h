#pragma once
// The program's own freetds.conf: one section per server, so that the FreeTDS driver itself
// checks the certificate on the connection that carries the password. The program points
// FREETDSCONF at it once at start-up and connects with Servername=<section>.

#include "EncryptionSetting.h"
#include "ServerAddress.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <stdexcept>

struct FreeTdsSection {
    enum class Verify {
        Nothing, // no ca file: the driver encrypts without checking
        System,  // ca file = system (or caFile), host name checked
        Pin,     // ca file = the pinned certificate, host name not checked
    };

    QString server; // as typed; names the section
    ServerAddress address;
    EncryptionSetting setting = EncryptionSetting::Mandatory; // Strict is refused
    Verify verify = Verify::System;
    QByteArray pinnedPem; // with Verify::Pin
    QString caFile;       // with Verify::System: a PEM bundle used instead of the system's
};

class EFreeTdsConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class FreeTdsConfigFile {
public:
    // freetds.conf in the application's configuration directory.
    static QString defaultPath();
    // The section name for a server: lower case, only characters FreeTDS reads back unchanged,
    // with a hash so that different servers never share one.
    static QString sectionName(const QString& server);

    explicit FreeTdsConfigFile(QString path = defaultPath());

    // Rewrites the file with these sections, and each pin as its own PEM file in "pins" beside
    // it; all owner-only. Throws EFreeTdsConfigError for a value FreeTDS would read back
    // differently, or when a file cannot be written.
    void write(const QList<FreeTdsSection>& sections) const;

    // Writes one pin file (owner-only) where pinFile(server) says; for drivers that read the
    // pin from a file of their own (ServerCertificate=).
    void writePinFile(const QString& server, const QByteArray& pem) const;

    // The file's text for these sections; pinFile gives the path each pin is written to.
    QString render(const QList<FreeTdsSection>& sections) const;
    QString pinFile(const QString& server) const;

    QString path() const { return path_; }

private:
    QString path_;
};
