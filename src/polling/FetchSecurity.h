#pragma once

#include <QByteArray>
#include <QDir>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace courivane {

inline const QString kCertificatesFileName = QStringLiteral("Certificates.pem");

// Where the password of a server and user name is kept. A lookup answers later, never inside
// the call, and not at all once `context` is gone.
class PasswordStore {
public:
    virtual ~PasswordStore() = default;
    using Found = std::function<void(std::optional<QString>)>;
    virtual void find(const QString& server, const QString& user, QObject* context,
                      Found found) = 0;
    // Keeps a password, or removes it when empty; `saved` gets an empty string or why not.
    using Saved = std::function<void(QString)>;
    virtual void save(const QString& server, const QString& user, const QString& password,
                      QObject* context, Saved saved) = 0;
};

// Passwords held in memory: the plug-in's password file, and the tests' stand-in for a keyring.
class MemoryPasswordStore : public PasswordStore {
public:
    void set(const QString& server, const QString& user, const QString& password) {
        m_passwords.insert(key(server, user), password);
    }
    bool isEmpty() const { return m_passwords.isEmpty(); }
    void find(const QString& server, const QString& user, QObject* context, Found found) override;
    void save(const QString& server, const QString& user, const QString& password, QObject* context,
              Saved saved) override;

private:
    static QString key(const QString& server, const QString& user) { return server + u'\t' + user; }
    QHash<QString, QString> m_passwords;
};

// Reads lines "server<TAB>user<TAB>password". Only a regular file that no one but its owner may
// read or write is read; otherwise `problem` says why it was refused.
struct PasswordFileRead {
    MemoryPasswordStore store;
    QString problem;
};
PasswordFileRead readPasswordFile(const QString& path);

// A certificate trusted for one server only (host and port, as a tunnel names them), by its
// SHA-256 fingerprint: it vouches for nothing else, whatever its extensions say.
struct PinnedCertificate {
    QString server;
    QByteArray sha256;
    bool operator==(const PinnedCertificate&) const = default;
};

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

// What a proxy's answer to CONNECT says, from all the bytes it has sent so far.
struct TunnelAnswer {
    enum class State { Incomplete, Open, Refused };
    State state = State::Incomplete;
    QString reason; // why the tunnel is refused
};
TunnelAnswer tunnelAnswer(const QByteArray& received);

// The reply's HTTP status code, or 0 when it does not begin with a status line.
int httpStatus(const QByteArray& reply);
// Whether a 401 reply offers Basic authentication.
bool offersBasic(const QByteArray& reply);

} // namespace courivane
