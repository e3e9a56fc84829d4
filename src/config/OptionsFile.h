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

// A switch is on only when its line says exactly "YES", case-sensitively.
inline bool isYes(const QString& flag) {
    return flag == kYes;
}
inline QString yesNo(bool on) {
    return on ? kYes : kNo;
}

// How a yes/no line reads: exactly "YES", exactly "NO", or anything else. Only the panel's first
// layout and the first pass tell "NO" apart from anything else.
enum class LineSays : quint8 { Yes, No, Other };
LineSays lineSays(const QString& line);

// What a host name or an IPv4 address is written with: letters, digits, ".", "-" and "_".
inline bool isHostNameChar(QChar c) {
    return c.isLetterOrNumber() || c == u'.' || c == u'-' || c == u'_';
}

// A port as the user writes it: one to five digits, nothing else, from 1 to 65535.
std::optional<qint32> parsePort(const QString& text);
// A whole number as a command line gives it: digits only, from `min` to `max`.
std::optional<int> parseWholeNumber(const QString& text, int min, int max);

// The proxy every fetch goes through while line 8 says "YES". An empty address or a line 10
// that is no usable port makes every fetch fail visibly instead of going where nobody wrote.
struct ProxyServer {
    QString address;
    std::optional<quint16> port;
    bool operator==(const ProxyServer&) const = default;
};

// The option values in use, owned by the poll cycle for the life of the program. A new record
// holds what is used where the file does not say (sound on, popups off, panel fixed, split,
// lamps, all rows, grouped, direct connection); popups are on when there is no file at all.
struct Options {
    bool sound = true;
    bool popups = false;
    bool moveable = false;
    bool web = true; // Split ICMP and Web: the status file, the reply layout and the Web lamp
    bool graphic = true;
    bool errorsOnly = false;
    bool summary = true;
    std::optional<ProxyServer> proxy;
    // Lines 4 and 5 as the start-up read found them: the first layout and the first pass split
    // unless line 4 says exactly "NO".
    LineSays splitLine = LineSays::Yes;
    LineSays graphicLine = LineSays::Yes;

    bool startupWeb() const { return splitLine != LineSays::No; }
    bool operator==(const Options&) const = default;
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

// One switch of `Options`: its line, its member, its value where the file does not say, and
// whether the start of every cycle reads the line again (the others keep their values in use
// until the program ends or Settings changes them).
struct OptionRow {
    OptionLine line;
    bool Options::*member;
    bool fallback;
    bool everyCycle;
};
// The seven switches, in file order; line 8 is the proxy.
std::span<const OptionRow> optionRows();
// The row of a switch's line; none for the proxy, the address and the port.
const OptionRow* optionRow(OptionLine line);

// What the settings dialog shows of the file and what "Save Settings" writes: each yes/no line
// as on or off (a grayed box counts as on before it gets here), lines 9 and 10 as typed.
struct OptionsForm {
    std::array<bool, AddressLine> on{};
    QString address;
    QString port;
    bool operator==(const OptionsForm&) const = default;
};

// Why the settings dialog must not save these lines, or an empty string. Address and port are
// written only while the proxy is enabled; then a TAB or a line break, an empty address or an
// unusable port would break every fetch through the proxy.
QString proxyLinesFault(const OptionsForm& form);

// The three readers and the writer of the options file. Readers never fail: what is missing is
// filled with the defaults and reported in `problems`, one text for the user each.
class OptionsFile {
public:
    explicit OptionsFile(QDir programDir);

    QString path() const;

    // Start-up: all eight flags, and the proxy when line 8 is "YES". `usable` tells whether the
    // file was there and could be read.
    QStringList readStartup(Options& options, bool* usable = nullptr) const;
    // Start-up from a file already read.
    static QStringList readStartup(const TextFileRead& file, Options& options);
    // Start of a cycle: lines 4 to 7 are read and passed over.
    QStringList readCycle(Options& options) const;
    // Settings dialog: the lines as written, with the proxy lines only when line 8 is "YES"; no
    // flag changes. `bytes` receives the lines as they were, for the save.
    OptionsForm readForDialog(LineBytes* bytes = nullptr, QStringList* problems = nullptr) const;
    // Writes the ten lines atomically, lines that did not change with the bytes they had; the
    // proxy lines are empty unless line 8 is "YES". Returns an empty string on success, else the
    // reason.
    QString write(const OptionsForm& form, const LineBytes& original = {}) const;
    // Writes what the program uses without a file, when there is no file yet: the first save of
    // the accounts brings the options file along. An existing file is left as it is.
    QString writeDefaultsIfMissing() const;

    static QStringList lines(const OptionsForm& form);
    // The form that shows these options.
    static OptionsForm formOf(const Options& options);

private:
    enum class Variant { Startup, Cycle };
    QStringList read(Options& options, Variant variant, bool* usable = nullptr) const;
    static QStringList apply(const TextFileRead& file, Options& options, Variant variant);

    QDir m_dir;
};

} // namespace courivane
