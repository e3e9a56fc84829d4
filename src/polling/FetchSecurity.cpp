#include "polling/FetchSecurity.h"

#include "config/TextLines.h"
#include "report/Reply.h"

#include <QCryptographicHash>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace courivane {

namespace {
constexpr qint64 kMostCertificateBytes = 1024 * 1024;
constexpr qint64 kMostPasswordBytes = 1024 * 1024;

// The header lines of a reply, up to the blank line that ends them (or the whole reply).
QList<QByteArray> headLines(const QByteArray& reply) {
    qsizetype end = reply.indexOf("\r\n\r\n");
    if (end < 0)
        end = reply.indexOf("\n\n");
    QList<QByteArray> lines = (end < 0 ? reply : reply.left(end)).split('\n');
    for (QByteArray& line : lines)
        line = line.trimmed();
    return lines;
}
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
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        read.problem = QStringLiteral("cannot read %1: %2").arg(path, qt_error_string(errno));
        return read;
    }
    struct stat info {};
    QFile file;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        read.problem = QStringLiteral("%1 is not a regular file").arg(path);
        return read;
    }
    if (info.st_mode & (S_IRWXG | S_IRWXO)) {
        ::close(fd);
        read.problem = QStringLiteral("%1 may be read or written by others than its owner "
                                      "(chmod 600 it)")
                           .arg(path);
        return read;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        read.problem = QStringLiteral("cannot read %1").arg(path);
        return read;
    }
    const QByteArray bytes = file.read(kMostPasswordBytes + 1);
    if (bytes.size() > kMostPasswordBytes) {
        read.problem =
            QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(kMostPasswordBytes);
        return read;
    }
    int number = 0;
    for (const QByteArray& raw : splitLines(bytes)) {
        ++number;
        const QString line = decodeLine(raw);
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
    trusted.certificates = QSslCertificate::fromData(file.raw, QSsl::Pem);
    const qsizetype begun = file.raw.count("-----BEGIN CERTIFICATE-----");
    if (trusted.certificates.size() != begun)
        trusted.problems
            << QStringLiteral("%1 holds text that is not a certificate").arg(kCertificatesFileName);
    return trusted;
}

QString trustCertificate(const QDir& dir, const QByteArray& pem) {
    const QList<QSslCertificate> adding = QSslCertificate::fromData(pem, QSsl::Pem);
    if (adding.size() != 1)
        return QStringLiteral("it is not one certificate");
    const QString path = dir.filePath(kCertificatesFileName);
    const TextFileRead file = readTextLines(path, kMostCertificateBytes);
    if (file.exists && !file.readable)
        return QStringLiteral("%1 cannot be read: %2").arg(kCertificatesFileName, file.error);
    if (QSslCertificate::fromData(file.raw, QSsl::Pem).contains(adding.first()))
        return {};
    QByteArray bytes = file.raw;
    if (!bytes.isEmpty() && !bytes.endsWith('\n'))
        bytes += '\n';
    bytes += adding.first().toPem();
    return writeBytesAtomically(path, bytes);
}

QStringList certificateSummary(const QSslCertificate& c) {
    const auto names = [](const QStringList& parts) {
        return printableText(parts.join(QStringLiteral(", ")));
    };
    QStringList lines;
    lines << QStringLiteral("Subject: ") + names(c.subjectInfo(QSslCertificate::CommonName)) +
                 QStringLiteral(" (") + names(c.subjectInfo(QSslCertificate::Organization)) + u')';
    lines << QStringLiteral("Issuer: ") + names(c.issuerInfo(QSslCertificate::CommonName)) +
                 QStringLiteral(" (") + names(c.issuerInfo(QSslCertificate::Organization)) + u')';
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

int httpStatus(const QByteArray& reply) {
    if (!reply.startsWith("HTTP/"))
        return 0;
    const QList<QByteArray> words = reply.left(reply.indexOf('\n')).simplified().split(' ');
    return words.size() >= 2 ? words.at(1).toInt() : 0;
}

bool offersBasic(const QByteArray& reply) {
    for (const QByteArray& line : headLines(reply)) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == "www-authenticate" &&
            line.mid(colon + 1).trimmed().toLower().startsWith("basic"))
            return true;
    }
    return false;
}

} // namespace courivane
