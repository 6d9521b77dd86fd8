// SPDX-License-Identifier: MIT
#pragma once
// The server sections of FreeTDS's configuration files, as server box entries: a section's name,
// and its host with its port or instance.

#include "ServerChoice.h"

#include <QStringList>

class FreeTdsConfServers {
public:
    // Where the user's own FREETDSCONF is kept while the program points FreeTDS at its own file.
    static constexpr const char* kUserFileVariable = "SQLBACKUP_USER_FREETDSCONF";
    // The files FreeTDS itself reads, in its order: $FREETDSCONF, ~/.freetds.conf, the system file.
    static QStringList defaultFiles();

    explicit FreeTdsConfServers(QStringList files = defaultFiles()) : files_(std::move(files)) {}

    // Each section once, from the first file that has it; files in order, a file's sections by
    // name. Skipped: [global], sections without a host, and sections whose tds version (their
    // own, else the file's [global] one) is below 7.0. A missing, unreadable, oversized or binary
    // file, or one that is not UTF-8, adds nothing; of a damaged text file, what can be read counts.
    ServerChoices servers() const;

    // One file's sections, by the same rules.
    static ServerChoices readFile(const QString& path);

private:
    QStringList files_;
};
