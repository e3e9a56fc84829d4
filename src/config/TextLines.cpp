#include "config/TextLines.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace courivane {

namespace {

// Windows-1252 from 0x80 to 0x9F; the five bytes it leaves undefined map to the C1 controls of
// the same value, as Windows does, so that every byte survives a round trip.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString readError(const QString& reason) {
    return reason.isEmpty() ? QStringLiteral("read error") : reason;
}

} // namespace

namespace {
// Calls `line` with each line of the bytes, as splitLines cuts them.
template <typename Line> void forEachLine(const QByteArray& bytes, Line line) {
    const char* data = bytes.constData();
    const qsizetype n = bytes.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = data[i];
        if (c != '\r' && c != '\n')
            continue;
        line(QByteArrayView(data + start, i - start));
        if (c == '\r' && i + 1 < n && data[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        line(QByteArrayView(data + start, n - start));
}
} // namespace

QList<QByteArray> splitLines(const QByteArray& bytes) {
    QList<QByteArray> lines;
    forEachLine(bytes, [&](QByteArrayView line) { lines.append(line.toByteArray()); });
    return lines;
}

bool isValidUtf8(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString text = utf8(bytes);
    return !utf8.hasError();
}

QString fromWindows1252(const QByteArray& bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = (b >= 0x80 && b <= 0x9F) ? QChar(kWindows1252High[b - 0x80]) : QChar(b);
    }
    return text;
}

std::optional<QByteArray> toWindows1252(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            bytes.append(static_cast<char>(u));
            continue;
        }
        const auto* hit = std::find(std::begin(kWindows1252High), std::end(kWindows1252High), u);
        if (hit == std::end(kWindows1252High))
            return std::nullopt;
        bytes.append(static_cast<char>(0x80 + (hit - std::begin(kWindows1252High))));
    }
    return bytes;
}

QString decodeLine(const QByteArray& line) {
    return decodeLine(QByteArrayView(line));
}

QString decodeLine(QByteArrayView line) {
    // Most lines are ASCII, which both encodings read alike.
    if (std::all_of(line.begin(), line.end(), [](char c) { return (c & 0x80) == 0; }))
        return QString::fromLatin1(line);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(line);
    return utf8.hasError() ? fromWindows1252(line.toByteArray()) : text;
}

LineBytes::LineBytes(const QByteArray& file) {
    for (const QByteArray& raw : splitLines(file)) {
        m_original[decodeLine(raw)].append(raw);
        m_windows1252 = m_windows1252 || !isValidUtf8(raw);
    }
}

QByteArray LineBytes::encode(const QStringList& lines) const {
    // Each original line is used once, so that an unedited save gives the file back byte for
    // byte even when the same text stands in it twice, in two encodings.
    QHash<QString, QList<QByteArray>> unused = m_original;
    QByteArray out;
    for (const QString& line : lines) {
        auto it = unused.find(line);
        if (it != unused.end() && !it->isEmpty()) {
            out += it->takeFirst();
        } else if (const auto original = m_original.constFind(line);
                   original != m_original.cend()) {
            out += original->first();
        } else if (const auto narrow = m_windows1252 ? toWindows1252(line) : std::nullopt;
                   narrow && decodeLine(*narrow) == line) {
            // Only where the bytes read back as this text: "É’" in Windows-1252 is C9 92,
            // which a reader takes for UTF-8.
            out += *narrow;
        } else {
            out += line.toUtf8();
        }
        out += kLineEnd;
    }
    return out;
}

TextFileRead parseText(const QByteArray& bytes) {
    TextFileRead result;
    result.exists = true;
    result.readable = true;
    result.lines.reserve(bytes.count('\n') + 1);
    forEachLine(bytes, [&](QByteArrayView line) { result.lines.append(decodeLine(line)); });
    result.raw = bytes;
    return result;
}

TextFileRead readTextLines(const QString& path, qint64 maxBytes, FileReaders readers) {
    TextFileRead result;
    result.path = path;
    const QByteArray native = QFile::encodeName(path);
    // Opened without blocking, then examined: opening a FIFO for reading would wait for a writer.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        result.exists = errno != ENOENT && errno != ENOTDIR;
        result.error = QString::fromLocal8Bit(std::strerror(errno));
        return result;
    }
    result.exists = true;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        result.error = QStringLiteral("it is not a regular file");
        return result;
    }
    if (readers == FileReaders::OwnerOnly && (info.st_mode & (S_IRWXG | S_IRWXO))) {
        ::close(fd);
        result.error = QStringLiteral("it may be read or written by others than its owner "
                                      "(chmod 600 it)");
        return result;
    }
    if (info.st_size > maxBytes) {
        ::close(fd);
        result.error = QStringLiteral("it is larger than %1 bytes").arg(maxBytes);
        return result;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        result.error = readError(file.errorString());
        return result;
    }
    // Bounded even if the file grows while it is read.
    const QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        result.error = readError(file.errorString());
        return result;
    }
    if (bytes.size() > maxBytes) {
        result.error = QStringLiteral("it is larger than %1 bytes").arg(maxBytes);
        return result;
    }
    TextFileRead read = parseText(bytes);
    read.path = path;
    return read;
}

namespace {

QString errnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Where a save through symbolic links lands: the last link's target, absent or not.
QString followLinks(const QString& path) {
    QString here = path;
    for (int depth = 0; depth < 40; ++depth) {
        const QFileInfo info(here);
        if (!info.isSymLink())
            return here;
        here = info.symLinkTarget(); // absolute, even when the link holds a relative name
    }
    return {};
}

// The temporary files of a save: "<name>.saving-XXXXXX" beside the file.
constexpr char kSaving[] = ".saving-";

// A save that was killed between creating its temporary file and the rename leaves the file
// behind; the next save of the same file removes it. A minute's grace spares a save under way
// in another instance.
void removeLeftovers(const QString& target) {
    const QFileInfo info(target);
    const QString prefix = info.fileName() + QLatin1String(kSaving);
    const QDateTime old = QDateTime::currentDateTimeUtc().addSecs(-60);
    const QFileInfoList entries =
        info.dir().entryInfoList({prefix + QStringLiteral("??????")},
                                 QDir::Files | QDir::Hidden | QDir::NoSymLinks | QDir::System);
    for (const QFileInfo& entry : entries) {
        if (entry.ownerId() == ::getuid() && entry.lastModified().toUTC() < old)
            QFile::remove(entry.filePath());
    }
}

// The first save creates the configuration directory, for its owner alone.
QString makeDirectoryOf(const QFileInfo& info) {
    if (info.dir().exists())
        return {};
    if (!QDir().mkpath(info.path()))
        return QStringLiteral("the directory %1 could not be created").arg(info.path());
    QFile::setPermissions(info.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return {};
}

// What a save replaces: through a link, the link's target, and only when it is a file or absent.
struct SaveTarget {
    QString path;
    QString error;
    bool replaces = false;
    struct stat old {};
};

SaveTarget saveTargetOf(const QString& path) {
    SaveTarget t;
    t.path = followLinks(path);
    if (t.path.isEmpty()) {
        t.error = QStringLiteral("it is a chain of links that does not end");
        return t;
    }
    t.replaces = ::stat(QFile::encodeName(t.path).constData(), &t.old) == 0;
    if (t.replaces && !S_ISREG(t.old.st_mode))
        t.error =
            t.path == path
                ? QStringLiteral("it is not a regular file")
                : QStringLiteral("it is a link to %1, which is not a regular file").arg(t.path);
    else if (!t.replaces && errno != ENOENT)
        t.error = errnoText();
    return t;
}

QString writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errnoText() : QStringLiteral("the file could not be written");
        data += n;
        left -= n;
    }
    return ::fsync(fd) != 0 ? errnoText() : QString();
}

// The rename is in the directory: it survives a power cut once the directory is on disk.
void syncDirectoryOf(const QString& path) {
    const int dir = ::open(QFile::encodeName(QFileInfo(path).path()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

} // namespace

QString writeBytesAtomically(const QString& path, const QByteArray& bytes) {
    if (QString error = makeDirectoryOf(QFileInfo(path)); !error.isEmpty())
        return error;
    const SaveTarget target = saveTargetOf(path);
    if (!target.error.isEmpty())
        return target.error;
    removeLeftovers(target.path);

    QByteArray temporary = QFile::encodeName(target.path) + kSaving + "XXXXXX";
    // Accounts and proxy name internal hosts: a new file is its owner's alone.
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return errnoText();
    QString error;
    // A file that is replaced keeps its mode, and its owner where the user may give it: a
    // monitoring engine that reads the file as its own user still can.
    if (target.replaces) {
        [[maybe_unused]] const int owned = ::fchown(fd, target.old.st_uid, target.old.st_gid);
        if (::fchmod(fd, target.old.st_mode & 07777) != 0)
            error = errnoText();
    }
    if (error.isEmpty())
        error = writeAll(fd, bytes);
    if (!error.isEmpty()) {
        ::close(fd);
        ::unlink(temporary.constData());
        return error;
    }
    if (::close(fd) != 0 ||
        ::rename(temporary.constData(), QFile::encodeName(target.path).constData()) != 0) {
        error = errnoText();
        ::unlink(temporary.constData());
        return error;
    }
    syncDirectoryOf(target.path);
    return {};
}

bool holdsLineBreakOrTab(const QString& text) {
    return text.contains(u'\t') || text.contains(u'\r') || text.contains(u'\n');
}

} // namespace courivane
