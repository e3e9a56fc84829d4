#include "config/OptionsFile.h"

#include "config/TextLines.h"

namespace courivane {

namespace {

// Used where the file does not say: sound on, popups off, panel fixed, split, lamps, all rows,
// grouped, direct connection.
const OptionFlags& defaultFlags() {
    static const OptionFlags defaults = [] {
        OptionFlags f;
        f.EnableSound = kYes;
        f.EnablePopups = kNo;
        f.MakeMoveable = kNo;
        f.SplitIcmpWeb = kYes;
        f.GraphicDisplay = kYes;
        f.ShowErrorsOnly = kNo;
        f.StatusSummary = kYes;
        f.EnableProxy = kNo;
        return f;
    }();
    return defaults;
}

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

QStringList OptionsFile::readCycle(OptionFlags& flags) const {
    return read(flags, Variant::Cycle);
}

QStringList OptionsFile::read(OptionFlags& flags, Variant variant, bool* usable) const {
    const TextFileRead file = readTextLines(path(), kMaxOptionsBytes);
    if (usable)
        *usable = file.readable;
    return apply(file, flags, variant);
}

QStringList OptionsFile::apply(const TextFileRead& file, OptionFlags& flags, Variant variant) {
    QStringList problems;
    if (!file.exists)
        problems << missingText(kOptionsFileName);
    else if (!file.readable)
        problems << unreadableText(kOptionsFileName, file.error);

    const QStringList& lines = file.lines;
    const OptionFlags& defaults = defaultFlags();
    auto line = [&](int number, const QString& fallback) {
        return number <= lines.size() ? lines.at(number - 1) : fallback;
    };

    flags.EnableSound = line(1, defaults.EnableSound);
    flags.EnablePopups = line(2, defaults.EnablePopups);
    flags.MakeMoveable = line(3, defaults.MakeMoveable);
    if (variant == Variant::Startup) {
        flags.SplitIcmpWeb = line(4, defaults.SplitIcmpWeb);
        flags.GraphicDisplay = line(5, defaults.GraphicDisplay);
        flags.ShowErrorsOnly = line(6, defaults.ShowErrorsOnly);
        flags.StatusSummary = line(7, defaults.StatusSummary);
    }
    flags.EnableProxy = line(8, defaults.EnableProxy);
    flags.proxyPortValid = true;
    if (isYes(flags.EnableProxy)) {
        flags.ProxyAddress = line(9, QString());
        if (flags.ProxyAddress.isEmpty() && lines.size() >= 9)
            problems << noAddressText(kOptionsFileName);
        const QString portLine = line(10, QString());
        const std::optional<qint32> port = parsePort(portLine);
        if (port) {
            flags.ProxyPort = *port;
        } else {
            flags.ProxyPort = 0;
            flags.proxyPortValid = false;
            if (lines.size() >= kProxyLines)
                problems << badPortText(kOptionsFileName, portLine);
        }
    } else {
        flags.ProxyAddress.clear();
        flags.ProxyPort = 80;
    }

    const int need = isYes(flags.EnableProxy) ? kProxyLines : kPlainLines;
    if (file.readable && lines.size() < need)
        problems << shortText(kOptionsFileName, lines.size(), need);
    return problems;
}

DialogOptions OptionsFile::readForDialog(QStringList* problems) const {
    // The dialog shows what the file says, so it reads without changing the live flags.
    const TextFileRead file = readTextLines(path(), kMaxOptionsBytes);
    OptionFlags scratch;
    const QStringList found = apply(file, scratch, Variant::Cycle);
    if (problems)
        *problems = found;
    DialogOptions options;
    options.readable = file.readable;
    options.bytes = LineBytes(file.raw);
    options.enableSound = isYes(scratch.EnableSound);
    options.enablePopups = isYes(scratch.EnablePopups);
    options.enableProxy = isYes(scratch.EnableProxy);
    if (options.enableProxy) {
        // Lines 9 and 10 go into the boxes exactly as written, even a port that is no number.
        if (file.lines.size() >= 9)
            options.proxyAddress = file.lines.at(8);
        if (file.lines.size() >= 10)
            options.proxyPort = file.lines.at(9);
    }
    return options;
}

QStringList OptionsFile::lines(const OptionsToSave& o) {
    return {
        yesNo(o.enableSound),
        yesNo(o.enablePopups),
        yesNo(o.makeMoveable),
        yesNo(o.splitIcmpWeb),
        yesNo(o.graphicDisplay),
        yesNo(o.showErrorsOnly),
        yesNo(o.statusSummary),
        yesNo(o.enableProxy),
        o.enableProxy ? o.proxyAddress : QString(),
        o.enableProxy ? o.proxyPort : QString(),
    };
}

QString OptionsFile::write(const OptionsToSave& options, const LineBytes& original) const {
    return writeBytesAtomically(path(), original.encode(lines(options)));
}

} // namespace courivane
