#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <span>

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

// The split flag of a pass: 1 when SplitIcmpWeb was "YES" as the pass began. It selects the
// status file, the reply layout, the WEB column and the Web lamp for the whole pass.
inline int splitFlagOf(const QString& splitIcmpWeb) {
    return isYes(splitIcmpWeb) ? 1 : 0;
}
// The split flag of the start-up pass: split unless line 4 says exactly "NO".
inline int startupSplitFlag(const QString& splitIcmpWeb) {
    return splitIcmpWeb == kNo ? 0 : 1;
}
inline bool webIsSplit(int splitFlag) {
    return splitFlag == 1;
}

// What a host name or an IPv4 address is written with: letters, digits, ".", "-" and "_".
inline bool isHostNameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'.' || c == u'-' || c == u'_';
}

// A port as the user writes it: one to five digits, nothing else, from 1 to 65535.
std::optional<qint32> parsePort(const QString& text);
// A whole number as a command line gives it: digits only, from `min` to `max`.
std::optional<int> parseWholeNumber(const QString& text, int min, int max);

// The live option values, held by the poll cycle for the life of the program; the panel and
// the settings dialog are handed copies. A new record holds the defaults: what is used where the
// file does not say (sound on, popups off, panel fixed, split, lamps, all rows, grouped, direct
// connection); popups are on when there is no file at all.
struct OptionFlags {
    OptionFlags();

    QString EnableSound;
    QString EnablePopups;
    QString MakeMoveable;
    QString SplitIcmpWeb;
    QString GraphicDisplay;
    QString ShowErrorsOnly;
    QString StatusSummary;
    QString EnableProxy;
    QString ProxyAddress;
    qint32 ProxyPort = 80;
    // False when line 10 was not a usable port while line 8 is "YES": every fetch through the
    // proxy then fails visibly instead of going to a port nobody wrote.
    bool proxyPortValid = true;
};

// The ten lines of the file, in file order.
enum OptionLine : int {
    SoundLine,
    PopupsLine,
    MoveableLine,
    SplitLine,
    GraphicLine,
    ErrorsOnlyLine,
    SummaryLine,
    ProxyLine,
    AddressLine,
    PortLine,
    kOptionLineCount
};

// One yes/no option: its line, the member that holds it, its default, whether the start of
// every cycle reads it again (the others keep their live values until the program ends), and
// the settings dialog's box that shows it. A live box shows the value in use and changes it at
// once; the others show the file's line and reach the program only through "Save Settings".
struct OptionRow {
    OptionLine line;
    QString OptionFlags::*member;
    const char* fallback;
    bool everyCycle;
    const char* box;
    bool liveBox;
};
// The eight rows, in file order.
std::span<const OptionRow> optionRows();
// The row of a yes/no line; none for the address and the port.
const OptionRow* optionRow(OptionLine line);

// The lines as text: what the settings dialog shows from the file, and what "Save Settings"
// writes (a grayed box counts as checked before it gets here).
using OptionTexts = std::array<QString, kOptionLineCount>;

// Why the settings dialog must not save these lines, or an empty string. Address and port are
// written only while the proxy is enabled; then a TAB or a line break, an empty address or an
// unusable port would break every fetch through the proxy.
QString proxyLinesFault(const OptionTexts& texts);

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
    // Settings dialog: the lines as written, with the proxy lines only when line 8 is "YES"; no
    // flag changes. `bytes` receives the lines as they were, for the save.
    OptionTexts readForDialog(LineBytes* bytes = nullptr, QStringList* problems = nullptr) const;
    // Writes the ten lines atomically, lines that did not change with the bytes they had; the
    // proxy lines are empty unless line 8 is "YES". Returns an empty string on success, else the
    // reason.
    QString write(const OptionTexts& texts, const LineBytes& original = {}) const;
    // Writes what the program uses without a file, when there is no file yet: the first save of
    // the accounts brings the options file along. An existing file is left as it is.
    QString writeDefaultsIfMissing() const;

    static QStringList lines(const OptionTexts& texts);

private:
    enum class Variant { Startup, Cycle };
    QStringList read(OptionFlags& flags, Variant variant, bool* usable = nullptr) const;
    static QStringList apply(const TextFileRead& file, OptionFlags& flags, Variant variant);

    QDir m_dir;
};

} // namespace courivane
