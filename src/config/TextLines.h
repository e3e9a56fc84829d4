#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace courivane {

// The line end every written line carries.
inline constexpr char kLineEnd[] = "\r\n";

// Outcome of reading a whole text file.
struct TextFileRead {
    bool exists = false;
    bool readable = false;
    QString error; // why it could not be read, when it exists but is unreadable
    QStringList lines;
};

// Splits text into lines the way a line reader would: CR LF, LF and a lone CR all end a line, no
// line end ever stays inside a line, and a final line end does not start another line.
QStringList splitLines(const QString& text);

// Files written on Windows are in the 8-bit code page, files edited here are UTF-8: take UTF-8
// when the bytes are valid UTF-8 and Latin-1 otherwise, so that no byte is ever lost.
QString decodeText(const QByteArray& bytes);

TextFileRead readTextLines(const QString& path);

// Writes the text atomically: either the whole new file is in place, or the old one is
// untouched. Returns an empty string on success, otherwise a reason the user can read.
QString writeTextAtomically(const QString& path, const QString& text);

} // namespace courivane
