#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

#include "config/TextLines.h"

namespace courivane {

inline const QString kOptionsFileName = QStringLiteral("Proxy.Txt");
inline const QString kYes = QStringLiteral("YES");
inline const QString kNo = QStringLiteral("NO");
// No real options file comes near this; anything larger is not read.
inline constexpr qint64 kMaxOptionsBytes = 1024 * 1024;

// Every test of a flag compares the whole text, case-sensitively, with "YES".
inline bool isYes(const QString& flag) {
    return flag == kYes;
}
inline QString yesNo(bool on) {
    return on ? kYes : kNo;
}

// A port as the user writes it: one to five digits, nothing else, from 1 to 65535.
std::optional<qint32> parsePort(const QString& text);

// The live option values, owned by the status panel for the life of the program.
struct OptionFlags {
    // The five values the panel holds before the start-up reading replaces them.
    QString EnableSound = kYes;
    QString EnablePopups = kNo;
    QString MakeMoveable = kYes;
    QString SplitIcmpWeb = kYes;
    QString GraphicDisplay = kYes;
    QString ShowErrorsOnly = kYes;
    QString StatusSummary = kYes;
    QString EnableProxy = kNo;
    QString ProxyAddress;
    qint32 ProxyPort = 80;
    // False when line 10 was not a usable port while line 8 is "YES": every fetch through the
    // proxy then fails visibly instead of going to a port nobody wrote.
    bool proxyPortValid = true;
};

// What the settings dialog shows from the file when it opens.
struct DialogOptions {
    bool enableSound = true;
    bool enablePopups = false;
    bool enableProxy = false;
    QString proxyAddress;
    QString proxyPort;
    bool readable = false; // false when the file is missing or could not be read
    LineBytes bytes;       // the file's lines as they were, for the save
};

// The ten lines "Save Settings" writes, as the dialog's controls hold them (a grayed box counts
// as checked before it gets here).
struct OptionsToSave {
    bool enableSound = true;
    bool enablePopups = false;
    bool makeMoveable = false;
    bool splitIcmpWeb = true;
    bool graphicDisplay = true;
    bool showErrorsOnly = false;
    bool statusSummary = true;
    bool enableProxy = false;
    QString proxyAddress;
    QString proxyPort;
};

// The three readers and the writer of the options file. Readers never fail: what is missing is
// filled with the defaults and reported in `problems`, one text for the user each.
class OptionsFile {
public:
    explicit OptionsFile(QDir programDir);

    QString path() const;

    // Start-up: all eight flags, and the proxy when line 8 is "YES". `usable` tells whether the
    // file was there and could be read.
    QStringList readStartup(OptionFlags& flags, bool* usable = nullptr) const;
    // Start-up from a file already read.
    static QStringList readStartup(const TextFileRead& file, OptionFlags& flags);
    // Start of a cycle: lines 4 to 7 are read and passed over.
    QStringList readCycle(OptionFlags& flags) const;
    // Settings dialog: lines 1, 2 and 8 to 10 only; no flag changes.
    DialogOptions readForDialog(QStringList* problems = nullptr) const;
    // Writes the ten lines atomically, lines that did not change with the bytes they had. Returns
    // an empty string on success, else the reason.
    QString write(const OptionsToSave& options, const LineBytes& original = {}) const;

    static QStringList lines(const OptionsToSave& options);

private:
    enum class Variant { Startup, Cycle };
    QStringList read(OptionFlags& flags, Variant variant, bool* usable = nullptr) const;
    static QStringList apply(const TextFileRead& file, OptionFlags& flags, Variant variant);

    QDir m_dir;
};

} // namespace courivane
