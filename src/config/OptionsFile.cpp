#include "config/OptionsFile.h"

#include <QFileInfo>

#include "config/TextLines.h"

#include <algorithm>

namespace courivane {

namespace {

const OptionRow kOptionRows[] = {
    {SoundLine, &Options::sound, true, true},
    {PopupsLine, &Options::popups, false, true},
    {MoveableLine, &Options::moveable, false, true},
    {SplitLine, &Options::web, true, false},
    {GraphicLine, &Options::graphic, true, false},
    {ErrorsOnlyLine, &Options::errorsOnly, false, false},
    {SummaryLine, &Options::summary, true, false},
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

LineSays lineSays(const QString& line) {
    if (line == kYes)
        return LineSays::Yes;
    return line == kNo ? LineSays::No : LineSays::Other;
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

QString proxyLinesFault(const OptionsForm& form) {
    if (!form.on[ProxyLine])
        return {};
    const QString& address = form.address;
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
    if (!parsePort(form.port))
        return QStringLiteral("The Port must be a whole number from 1 to 65535.");
    return {};
}

OptionsFile::OptionsFile(QDir programDir) : m_dir(std::move(programDir)) {}

QString OptionsFile::path() const {
    return m_dir.filePath(kOptionsFileName);
}

QStringList OptionsFile::readStartup(Options& options, bool* usable) const {
    return read(options, Variant::Startup, usable);
}

QStringList OptionsFile::readStartup(const TextFileRead& file, Options& options) {
    return apply(file, options, Variant::Startup);
}

QString OptionsFile::writeDefaultsIfMissing() const {
    if (QFileInfo::exists(path()))
        return {};
    Options options;
    readStartup(options); // no file: the values the program uses then
    return write(formOf(options));
}

QStringList OptionsFile::readCycle(Options& options) const {
    return read(options, Variant::Cycle);
}

QStringList OptionsFile::read(Options& options, Variant variant, bool* usable) const {
    const TextFileRead file = readTextLines(path(), kMaxOptionsBytes);
    if (usable)
        *usable = file.readable;
    return apply(file, options, variant);
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

QStringList OptionsFile::apply(const TextFileRead& file, Options& options, Variant variant) {
    QStringList problems;
    // The file by its full path: the user sees which directory was read.
    const QString name = file.path.isEmpty() ? kOptionsFileName : file.path;
    if (!file.exists)
        problems << missingText(name);
    else if (!file.readable)
        problems << unreadableText(name, file.error);

    const QStringList& lines = file.lines;
    const auto has = [&](int index) { return index < lines.size(); };
    // Without any file, notices are on too: an operator who never opened Settings still
    // learns of a failure. A file that stops short keeps the defaults.
    for (const OptionRow& f : kOptionRows) {
        const bool fallback = f.line == PopupsLine && !file.exists ? true : f.fallback;
        const bool on = has(f.line) ? isYes(lines.at(f.line)) : fallback;
        if (variant == Variant::Startup || f.everyCycle) {
            options.*f.member = on;
        } else if (file.readable && has(f.line) && on != options.*f.member) {
            // The display's lines are read at start-up and saved by Settings: one edited by
            // hand waits, and the operator is told so rather than left wondering.
            problems << QStringLiteral("%1 line %2 says %3, but %4 stays %5 until Settings saves "
                                       "it or the monitor starts again.")
                            .arg(name)
                            .arg(f.line + 1)
                            .arg(yesNo(on), QString::fromLatin1(displayName(f.line)),
                                 yesNo(options.*f.member));
        }
    }
    if (variant == Variant::Startup) {
        options.splitLine = has(SplitLine) ? lineSays(lines.at(SplitLine)) : LineSays::Yes;
        options.graphicLine = has(GraphicLine) ? lineSays(lines.at(GraphicLine)) : LineSays::Yes;
    }
    options.proxy.reset();
    if (has(ProxyLine) && isYes(lines.at(ProxyLine))) {
        ProxyServer proxy;
        proxy.address = lines.value(AddressLine);
        if (proxy.address.isEmpty() && has(AddressLine))
            problems << noAddressText(name);
        const QString portLine = lines.value(PortLine);
        if (const std::optional<qint32> port = parsePort(portLine))
            proxy.port = quint16(*port);
        else if (has(PortLine))
            problems << badPortText(name, portLine);
        options.proxy = proxy;
    }

    const int need = options.proxy ? kProxyLines : kPlainLines;
    if (file.readable && lines.size() < need)
        problems << shortText(name, lines.size(), need);
    return problems;
}

OptionsForm OptionsFile::formOf(const Options& options) {
    OptionsForm form;
    for (const OptionRow& f : kOptionRows)
        form.on[f.line] = options.*f.member;
    form.on[ProxyLine] = options.proxy.has_value();
    return form;
}

OptionsForm OptionsFile::readForDialog(LineBytes* bytes, QStringList* problems) const {
    // The dialog shows what the file says, so it reads without changing the options in use.
    const TextFileRead file = readTextLines(path(), kMaxOptionsBytes);
    Options read;
    const QStringList found = apply(file, read, Variant::Startup);
    if (problems)
        *problems = found;
    if (bytes)
        *bytes = LineBytes(file.raw);
    OptionsForm form = formOf(read);
    // Lines 9 and 10 go into the boxes exactly as written, even a port that is no number.
    if (read.proxy) {
        form.address = file.lines.value(AddressLine);
        form.port = file.lines.value(PortLine);
    }
    return form;
}

QStringList OptionsFile::lines(const OptionsForm& form) {
    QStringList lines;
    for (const bool on : form.on)
        lines << yesNo(on);
    if (form.on[ProxyLine])
        lines << form.address << form.port;
    else
        lines << QString() << QString();
    return lines;
}

QString OptionsFile::write(const OptionsForm& form, const LineBytes& original) const {
    return writeBytesAtomically(path(), original.encode(lines(form)));
}

} // namespace courivane
