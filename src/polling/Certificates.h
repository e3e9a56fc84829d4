#pragma once

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <QStringList>

namespace courivane {

inline const QString kCertificatesFileName = QStringLiteral("Certificates.pem");

// A certificate trusted for one server only (host and port, as a tunnel names them), by its
// SHA-256 fingerprint: it vouches for nothing else, whatever its extensions say.
struct PinnedCertificate {
    QString server;
    QByteArray sha256;
    bool operator==(const PinnedCertificate&) const = default;
};

// The certificates the user chose to trust, from the configuration directory. A file that
// cannot be read, or holds text that is no certificate, is a problem; what it holds that is a
// certificate is trusted all the same. A certificate whose block follows a line
// "Pinned for host:port" is pinned for that server; every other one is the operator's own.
struct TrustedCertificates {
    QList<QSslCertificate> certificates;
    QList<PinnedCertificate> pinned;
    QStringList problems;
};
TrustedCertificates readTrustedCertificates(const QDir& dir);

// Pins a certificate for one server ("host:port") in the file, after what it holds, written as
// the other files are: whole or not at all, 0600 when new. Returns an empty string, or why it
// could not be written.
QString trustCertificate(const QDir& dir, const QByteArray& pem, const QString& server);

// What the user is shown before trusting a certificate: subject, issuer, validity and its
// SHA-256 fingerprint, one line each.
QStringList certificateSummary(const QSslCertificate& certificate);

// Whether the error is about who vouches for a certificate (not its name, dates or use).
bool isChainError(QSslError::SslError error);
// Whether the error is about what a certificate's extensions allow it to be used for.
bool isExtensionError(QSslError::SslError error);
// Why a TLS handshake was refused, in the words of a failed fetch.
QString verificationReason(const QList<QSslError>& errors);

} // namespace courivane
