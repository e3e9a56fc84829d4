#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace courivane {

// The line end every written line carries.
inline constexpr char kLineEnd[] = "\r\n";

// Splits bytes into lines the way a line reader would: CR LF, LF and a lone CR all end a line,
// no line end ever stays inside a line, and a final line end does not start another line.
QList<QByteArray> splitLines(const QByteArray& bytes);

// Files written on Windows are in its 8-bit code page, files edited here are UTF-8, and a file
// may hold both: each line is read as UTF-8 when it is valid UTF-8, otherwise as Windows-1252.
QString decodeLine(const QByteArray& line);
QString decodeLine(QByteArrayView line);
bool isValidUtf8(const QByteArray& bytes);
QString fromWindows1252(const QByteArray& bytes);
// Empty when some character has no Windows-1252 byte.
std::optional<QByteArray> toWindows1252(const QString& text);
// A TAB, CR or LF: what no single line of a file may hold.
bool holdsLineBreakOrTab(const QString& text);

// What a file's lines were as bytes, so that a save writes every line the user did not change
// with its original bytes, and new or changed lines in the file's own encoding.
class LineBytes {
public:
    LineBytes() = default; // a new file: UTF-8
    // From the whole file as it was read.
    explicit LineBytes(const QByteArray& file);

    bool windows1252() const { return m_windows1252; }
    // The lines, each followed by CR LF.
    QByteArray encode(const QStringList& lines) const;

private:
    QHash<QString, QList<QByteArray>> m_original;
    bool m_windows1252 = false;
};

// Outcome of reading a whole text file.
struct TextFileRead {
    QString path; // the file's full path; empty for bytes that came from elsewhere
    bool exists = false;
    bool readable = false;
    QString error; // why it could not be read, when it exists but is unreadable
    QStringList lines;
    QByteArray raw; // the file as read: for a save that keeps its bytes, and to notice a change
};

// The lines of a file's bytes, as a reader sees them.
TextFileRead parseText(const QByteArray& bytes);

// Who may read a file besides its owner: anyone, or (a file of secrets) no one else.
enum class FileReaders { Anyone, OwnerOnly };

// Reads a configuration file. Only a regular file (after links) of at most `maxBytes` is read:
// a FIFO would block the program and a link to a device would never end. A file for its owner
// only is refused while its group or others may read or write it.
TextFileRead readTextLines(const QString& path, qint64 maxBytes,
                           FileReaders readers = FileReaders::Anyone);

// Writes the bytes atomically: either the whole new file is in place, or the old one is
// untouched. Returns an empty string on success, otherwise a reason the user can read.
QString writeBytesAtomically(const QString& path, const QByteArray& bytes);

} // namespace courivane
