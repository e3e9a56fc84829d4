#include "polling/FetchSecurity.h"

#include "config/TextLines.h"
#include "polling/ReplyInterpreter.h"
#include "report/Reply.h"

#include <QCryptographicHash>
#include <QTimer>

#include <algorithm>

namespace courivane {

namespace {
constexpr qint64 kMostCertificateBytes = 1024 * 1024;
constexpr qint64 kMostPasswordBytes = 1024 * 1024;
} // namespace

void MemoryPasswordStore::find(const QString& server, const QString& user, QObject* context,
                               Found found) {
    const auto it = m_passwords.constFind(key(server, user));
    std::optional<QString> password;
    if (it != m_passwords.cend())
        password = *it;
    QTimer::singleShot(0, context, [found = std::move(found), password] { found(password); });
}

void MemoryPasswordStore::save(const QString& server, const QString& user, const QString& password,
                               QObject* context, Saved saved) {
    if (password.isEmpty())
        m_passwords.remove(key(server, user));
    else
        set(server, user, password);
    QTimer::singleShot(0, context, [saved = std::move(saved)] { saved(QString()); });
}

PasswordFileRead readPasswordFile(const QString& path) {
    PasswordFileRead read;
    const TextFileRead file = readTextLines(path, kMostPasswordBytes, FileReaders::OwnerOnly);
    if (!file.readable) {
        read.problem = QStringLiteral("cannot read %1: %2").arg(path, file.error);
        return read;
    }
    int number = 0;
    for (const QString& line : file.lines) {
        ++number;
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList fields = line.split(u'\t');
        if (fields.size() != 3 || fields.at(0).isEmpty()) {
            // The line itself is never shown: it holds a password.
            read.problem = QStringLiteral("line %1 of %2 is not server<TAB>user<TAB>password")
                               .arg(number)
                               .arg(path);
            read.store = MemoryPasswordStore();
            return read;
        }
        read.store.set(fields.at(0), fields.at(1), fields.at(2));
    }
    return read;
}

bool FetchSecurity::isPinned(const QString& server, const QSslCertificate& certificate) const {
    if (certificate.isNull())
        return false;
    const QByteArray sha256 = certificate.digest(QCryptographicHash::Sha256);
    return std::any_of(pinned.cbegin(), pinned.cend(), [&](const PinnedCertificate& pin) {
        return pin.sha256 == sha256 && pin.server.compare(server, Qt::CaseInsensitive) == 0;
    });
}

namespace {
const QByteArray kBeginCertificate = "-----BEGIN CERTIFICATE-----";
const QByteArray kEndCertificate = "-----END CERTIFICATE-----";
const QByteArray kPinnedFor = "Pinned for ";

// The server a certificate block is pinned for: the last line of text before it, when that says
// so; otherwise none.
QString pinnedServer(const QByteArray& textBefore) {
    const QList<QByteArray> lines = textBefore.trimmed().split('\n');
    const QByteArray last = lines.last().trimmed();
    return last.startsWith(kPinnedFor) ? QString::fromUtf8(last.mid(kPinnedFor.size()).trimmed())
                                       : QString();
}
} // namespace

TrustedCertificates readTrustedCertificates(const QDir& dir) {
    TrustedCertificates trusted;
    const TextFileRead file =
        readTextLines(dir.filePath(kCertificatesFileName), kMostCertificateBytes);
    if (!file.exists)
        return trusted;
    if (!file.readable) {
        trusted.problems
            << QStringLiteral("%1 cannot be read: %2").arg(kCertificatesFileName, file.error);
        return trusted;
    }
    bool broken = false;
    qsizetype from = 0;
    for (qsizetype at; (at = file.raw.indexOf(kBeginCertificate, from)) >= 0;) {
        const qsizetype end = file.raw.indexOf(kEndCertificate, at);
        const qsizetype next = end < 0 ? file.raw.size() : end + kEndCertificate.size();
        const QList<QSslCertificate> one =
            QSslCertificate::fromData(file.raw.mid(at, next - at), QSsl::Pem);
        const QString server = pinnedServer(file.raw.mid(from, at - from));
        from = next;
        if (one.size() != 1) {
            broken = true;
        } else if (server.isEmpty()) {
            trusted.certificates << one.first();
        } else {
            trusted.pinned << PinnedCertificate{server,
                                                one.first().digest(QCryptographicHash::Sha256)};
        }
    }
    if (broken)
        trusted.problems
            << QStringLiteral("%1 holds text that is not a certificate").arg(kCertificatesFileName);
    return trusted;
}

QString trustCertificate(const QDir& dir, const QByteArray& pem, const QString& server) {
    const QList<QSslCertificate> adding = QSslCertificate::fromData(pem, QSsl::Pem);
    if (adding.size() != 1)
        return QStringLiteral("it is not one certificate");
    // The server's name comes from the accounts file: it may hold nothing that ends the line.
    if (server.isEmpty() || server.contains(u'\n') || server.contains(u'\r'))
        return QStringLiteral("the server has no usable name");
    const QString path = dir.filePath(kCertificatesFileName);
    const TextFileRead file = readTextLines(path, kMostCertificateBytes);
    if (file.exists && !file.readable)
        return QStringLiteral("%1 cannot be read: %2").arg(kCertificatesFileName, file.error);
    FetchSecurity present;
    present.pinned = readTrustedCertificates(dir).pinned;
    if (present.isPinned(server, adding.first()))
        return {};
    QByteArray bytes = file.raw;
    if (!bytes.isEmpty() && !bytes.endsWith('\n'))
        bytes += '\n';
    bytes += kPinnedFor + server.toUtf8() + '\n' + adding.first().toPem();
    return writeBytesAtomically(path, bytes);
}

QStringList certificateSummary(const QSslCertificate& c) {
    // "name (organisation)", without the brackets when there is no organisation.
    const auto names = [](const QStringList& common, const QStringList& organisation) {
        const QString name = printableText(common.join(QStringLiteral(", ")));
        const QString of = printableText(organisation.join(QStringLiteral(", ")));
        return of.isEmpty() ? name : name + QStringLiteral(" (") + of + u')';
    };
    QStringList lines;
    lines << QStringLiteral("Subject: ") + names(c.subjectInfo(QSslCertificate::CommonName),
                                                 c.subjectInfo(QSslCertificate::Organization));
    lines << QStringLiteral("Issuer: ") + names(c.issuerInfo(QSslCertificate::CommonName),
                                                c.issuerInfo(QSslCertificate::Organization));
    lines << QStringLiteral("Valid from %1 to %2")
                 .arg(c.effectiveDate().toUTC().toString(Qt::ISODate),
                      c.expiryDate().toUTC().toString(Qt::ISODate));
    const QByteArray digest = c.digest(QCryptographicHash::Sha256).toHex(':').toUpper();
    lines << QStringLiteral("SHA-256: ") + QString::fromLatin1(digest);
    return lines;
}

bool isChainError(QSslError::SslError error) {
    switch (error) {
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::CertificateUntrusted:
        return true;
    default:
        return false;
    }
}

bool isExtensionError(QSslError::SslError error) {
    switch (error) {
    case QSslError::InvalidPurpose:
    case QSslError::InvalidCaCertificate:
    case QSslError::PathLengthExceeded:
        return true;
    default:
        return false;
    }
}

QString verificationReason(const QList<QSslError>& errors) {
    bool untrusted = false, expired = false, otherHost = false;
    for (const QSslError& e : errors) {
        switch (e.error()) {
        case QSslError::CertificateExpired:
        case QSslError::CertificateNotYetValid:
            expired = true;
            break;
        case QSslError::HostNameMismatch:
            otherHost = true;
            break;
        default:
            untrusted = true;
            break;
        }
    }
    if (untrusted)
        return QStringLiteral("certificate not trusted");
    if (expired)
        return QStringLiteral("certificate expired");
    if (otherHost)
        return QStringLiteral("certificate is for another host");
    return QStringLiteral("certificate not trusted");
}

TunnelAnswer tunnelAnswer(const QByteArray& received) {
    constexpr qsizetype kMostAnswer = 8 * 1024;
    // The head ends at its first empty line, whichever line end the proxy writes; what does not
    // begin with a status line is no answer to wait for.
    const qsizetype end = bodyStart(received);
    if (end < 0) {
        if (received.size() > kMostAnswer)
            return {TunnelAnswer::State::Refused,
                    QStringLiteral("the proxy's answer to CONNECT is too long")};
        return {};
    }
    if (httpStatus(received.left(end)) != 200) {
        const QByteArray first = received.left(received.indexOf('\n')).trimmed();
        return {TunnelAnswer::State::Refused,
                QStringLiteral("the proxy did not open a tunnel: %1")
                    .arg(printableText(QString::fromLatin1(first.left(200))))};
    }
    // Whatever the proxy sends before the handshake comes from the proxy, not the server: read
    // as the reply, it would be a status the proxy forged.
    if (received.size() > end)
        return {TunnelAnswer::State::Refused,
                QStringLiteral("the proxy sent data before the tunnel was secured")};
    return {TunnelAnswer::State::Open, {}};
}

int httpStatus(const QByteArray& reply) {
    return readStatusLine(reply).code;
}

bool offersBasic(const QByteArray& reply) {
    const QList<QByteArray> offers = headerValues(reply, "WWW-Authenticate");
    return std::any_of(offers.cbegin(), offers.cend(), [](const QByteArray& offer) {
        return offer.left(5).compare("basic", Qt::CaseInsensitive) == 0;
    });
}

} // namespace courivane
