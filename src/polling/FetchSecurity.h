#pragma once

#include "polling/Certificates.h"
#include "polling/HttpHead.h"
#include "polling/Passwords.h"

namespace courivane {

// What fetches over TLS trust besides the system's certificates, and where passwords are found.
struct FetchSecurity {
    // Certificates the operator put in the file by hand: authorities, or servers' own
    // certificates trusted for the names they carry.
    QList<QSslCertificate> trusted;
    QList<PinnedCertificate> pinned;
    PasswordStore* passwords = nullptr;

    // Whether the certificate is pinned for the server ("host:port").
    bool isPinned(const QString& server, const QSslCertificate& certificate) const;
};

} // namespace courivane
