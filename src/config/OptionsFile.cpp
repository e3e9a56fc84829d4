#include "config/OptionsFile.h"

#include <QFileInfo>

#include "config/TextLines.h"

#include <algorithm>

namespace courivane {

namespace {

const OptionRow kOptionRows[] = {
    {SoundLine, &OptionFlags::EnableSound, "YES", true, "Check1", false},
    {PopupsLine, &OptionFlags::EnablePopups, "NO", true, "Check3", false},
    {MoveableLine, &OptionFlags::MakeMoveable, "NO", true, "Check4", true},
    {SplitLine, &OptionFlags::SplitIcmpWeb, "YES", false, "Check5", true},
    {GraphicLine, &OptionFlags::GraphicDisplay, "YES", false, "Check6", true},
    {ErrorsOnlyLine, &OptionFlags::ShowErrorsOnly, "NO", false, "Check8", true},
    {SummaryLine, &OptionFlags::StatusSummary, "YES", false, "Check7", true},
    {ProxyLine, &OptionFlags::EnableProxy, "NO", true, "Check2", false},
};

constexpr int kProxyLines = 10;
constexpr int kPlainLines = 8;

QString missingText(const QString& name) {
    return QStringLiteral("%1 not found: default options in use. Open Settings and press Save "
                          "Settings to create it.")
        .arg(name);
}

QString unreadableText(const QString& name, const QString& reason) {
    return QStringLiteral("%1 cannot be read (%2): default options in use.").arg(name, reason);
}

QString shortText(const QString& name, qsizetype have, int need) {
    return QStringLiteral("%1 has %2 of its %3 lines: defaults in use for the rest. Open "
                          "Settings and press Save Settings to complete it.")
        .arg(name)
        .arg(have)
        .arg(need);
}

QString noAddressText(const QString& name) {
    return QStringLiteral("%1 line 9: the proxy is enabled but has no address, so every fetch "
                          "through the proxy fails. Enter it in Settings.")
        .arg(name);
}

QString badPortText(const QString& name, const QString& value) {
    return QStringLiteral("%1 line 10: the proxy port \"%2\" is not a whole number from 1 to "
                          "65535, so every fetch through the proxy fails. Correct it in Settings.")
        .arg(name, value);
}

} // namespace

OptionFlags::OptionFlags() {
    for (const OptionRow& row : kOptionRows)
        this->*row.member = QString::fromLatin1(row.fallback);
}

std::span<const OptionRow> optionRows() {
    return kOptionRows;
}

const OptionRow* optionRow(OptionLine line) {
    for (const OptionRow& row : kOptionRows)
        if (row.line == line)
            return &row;
    return nullptr;
}

std::optional<qint32> parsePort(const QString& text) {
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    qint32 value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value < 1 || value > 65535)
        return std::nullopt;
    return value;
}

std::optional<int> parseWholeNumber(const QString& text, int min, int max) {
    // Nine digits cannot overflow an int; leading zeros are no reason to refuse.
    qsizetype first = 0;
    while (first + 1 < text.size() && text.at(first) == u'0')
        ++first;
    if (text.isEmpty() || text.size() - first > 9)
        return std::nullopt;
    int value = 0;
    for (qsizetype i = first; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

QString proxyLinesFault(const OptionTexts& texts) {
    if (!isYes(texts[ProxyLine]))
        return {};
    const QString& address = texts[AddressLine];
    if (holdsLineBreakOrTab(address))
        return QStringLiteral("The Proxy Server Address must not hold a TAB or a line break.");
    if (address.isEmpty())
        return QStringLiteral("The Proxy Server Address must not be empty while the proxy server "
                              "is enabled.");
    // What a host name or an IP address can hold: a blank or "/" there would make every fetch
    // fail with nothing pointing at the proxy.
    const bool hostChars = std::all_of(address.cbegin(), address.cend(), [](QChar c) {
        return isHostNameChar(c) || c == u':' || c == u'[' || c == u']';
    });
    if (!hostChars)
        return QStringLiteral("The Proxy Server Address must be a host name or an IP address, "
                              "without blanks or other characters.");
    if (!parsePort(texts[PortLine]))
        return QStringLiteral("The Port must be a whole number from 1 to 65535.");
    return {};
}

OptionsFile::OptionsFile(QDir programDir) : m_dir(std::move(programDir)) {}

QString OptionsFile::path() const {
    return m_dir.filePath(kOptionsFileName);
}

QStringList OptionsFile::readStartup(OptionFlags& flags, bool* usable) const {
    return read(flags, Variant::Startup, usable);
}

QStringList OptionsFile::readStartup(const TextFileRead& file, OptionFlags& flags) {
    return apply(file, flags, Variant::Startup);
}

QString OptionsFile::writeDefaultsIfMissing() const {
    if (QFileInfo::exists(path()))
        return {};
    OptionFlags flags;
    readStartup(flags); // no file: the values the program uses then
    OptionTexts texts;
    for (const OptionRow& row : optionRows())
        texts[row.line] = flags.*row.member;
    return write(texts);
}

QStringList OptionsFile::readCycle(OptionFlags& flags) const {
    return read(flags, Variant::Cycle);
}

QStringList OptionsFile::read(OptionFlags& flags, Variant variant, bool* usable) const {
    const TextFileRead file = readTextLines(path(), kMaxOptionsBytes);
    if (usable)
        *usable = file.readable;
    return apply(file, flags, variant);
}

namespace {
// The display's lines as the settings dialog names them.
const char* displayName(OptionLine line) {
    switch (line) {
    case SplitLine:
        return "Split ICMP and Web";
    case GraphicLine:
        return "Graphic Display";
    case ErrorsOnlyLine:
        return "Show errors only";
    case SummaryLine:
        return "Status Summary";
    default:
        return "this option";
    }
}
} // namespace

QStringList OptionsFile::apply(const TextFileRead& file, OptionFlags& flags, Variant variant) {
    QStringList problems;
    // The file by its full path: the user sees which directory was read.
    const QString name = file.path.isEmpty() ? kOptionsFileName : file.path;
    if (!file.exists)
        problems << missingText(name);
    else if (!file.readable)
        problems << unreadableText(name, file.error);

    const QStringList& lines = file.lines;
    auto line = [&](int index, const QString& fallback) {
        return index < lines.size() ? lines.at(index) : fallback;
    };
    // Without any file, notices are on too: an operator who never opened Settings still
    // learns of a failure. A file that stops short keeps the defaults.
    for (const OptionRow& f : kOptionRows) {
        if (variant == Variant::Startup || f.everyCycle) {
            flags.*f.member =
                line(f.line,
                     !file.exists && f.line == PopupsLine ? kYes : QString::fromLatin1(f.fallback));
        } else if (file.readable && f.line < lines.size() &&
                   isYes(lines.at(f.line)) != isYes(flags.*f.member)) {
            // The display's lines are read at start-up and saved by Settings: one edited by
            // hand waits, and the operator is told so rather than left wondering.
            problems << QStringLiteral("%1 line %2 says %3, but %4 stays %5 until Settings saves "
                                       "it or the monitor starts again.")
                            .arg(name)
                            .arg(f.line + 1)
                            .arg(yesNo(isYes(lines.at(f.line))),
                                 QString::fromLatin1(displayName(f.line)),
                                 yesNo(isYes(flags.*f.member)));
        }
    }
    flags.proxyPortValid = true;
    if (isYes(flags.EnableProxy)) {
        flags.ProxyAddress = line(AddressLine, QString());
        if (flags.ProxyAddress.isEmpty() && lines.size() > AddressLine)
            problems << noAddressText(name);
        const QString portLine = line(PortLine, QString());
        const std::optional<qint32> port = parsePort(portLine);
        if (port) {
            flags.ProxyPort = *port;
        } else {
            flags.ProxyPort = 0;
            flags.proxyPortValid = false;
            if (lines.size() >= kProxyLines)
                problems << badPortText(name, portLine);
        }
    } else {
        flags.ProxyAddress.clear();
        flags.ProxyPort = 80;
    }

    const int need = isYes(flags.EnableProxy) ? kProxyLines : kPlainLines;
    if (file.readable && lines.size() < need)
        problems << shortText(name, lines.size(), need);
    return problems;
}

OptionTexts OptionsFile::readForDialog(LineBytes* bytes, QStringList* problems) const {
    // The dialog shows what the file says, so it reads without changing the live flags.
    const TextFileRead file = readTextLines(path(), kMaxOptionsBytes);
    OptionFlags scratch;
    const QStringList found = apply(file, scratch, Variant::Cycle);
    if (problems)
        *problems = found;
    if (bytes)
        *bytes = LineBytes(file.raw);
    OptionTexts texts;
    for (const OptionRow& f : kOptionRows)
        texts[f.line] = scratch.*f.member;
    // Lines 9 and 10 go into the boxes exactly as written, even a port that is no number.
    if (isYes(scratch.EnableProxy)) {
        texts[AddressLine] = file.lines.value(AddressLine);
        texts[PortLine] = file.lines.value(PortLine);
    }
    return texts;
}

QStringList OptionsFile::lines(const OptionTexts& texts) {
    QStringList lines(texts.cbegin(), texts.cend());
    if (!isYes(texts[ProxyLine])) {
        lines[AddressLine].clear();
        lines[PortLine].clear();
    }
    return lines;
}

QString OptionsFile::write(const OptionTexts& texts, const LineBytes& original) const {
    return writeBytesAtomically(path(), original.encode(lines(texts)));
}

} // namespace courivane
