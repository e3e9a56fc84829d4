#include "config/AccountsFile.h"

#include "config/TextLines.h"

#include <QFileInfo>

namespace courivane {

namespace {

const QChar kTab = u'\t';

bool isComplete(const AccountRecord& record) {
    return !record.CompanyName.isEmpty() && !record.MonitoringServer.isEmpty() &&
           !record.UserName.isEmpty();
}

} // namespace

QString listedCompanyName(const QString& name) {
    QString listed = name;
    for (QChar& c : listed)
        if (c.category() == QChar::Other_Control)
            c = QChar::ReplacementCharacter;
    return listed;
}

std::optional<QString> findCompany(const QString& given, const QStringList& companies) {
    if (companies.contains(given))
        return given;
    std::optional<QString> found;
    for (const QString& name : companies) {
        if (listedCompanyName(name) != given || name == found)
            continue;
        if (found)
            return std::nullopt; // two companies list alike: neither is meant for sure
        found = name;
    }
    return found;
}

QString visibleName(const QString& name) {
    QString shown;
    for (const char32_t c : name.toUcs4()) {
        if (c == U' ' || (QChar::isPrint(c) && !QChar::isSpace(c)))
            shown += QString::fromUcs4(&c, 1);
        else
            shown += QStringLiteral("<U+%1>").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
    }
    return shown;
}

QString toListEntry(const AccountRecord& record) {
    return record.CompanyName + kTab + record.MonitoringServer + kTab + record.UserName;
}

std::optional<AccountRecord> fromListEntry(const QString& entry) {
    const QStringList parts = entry.split(kTab);
    if (parts.size() != 3)
        return std::nullopt;
    return AccountRecord{parts.at(0), parts.at(1), parts.at(2)};
}

std::optional<QString> forbiddenField(const AccountRecord& record) {
    if (holdsLineBreakOrTab(record.CompanyName))
        return QStringLiteral("Company Name");
    if (holdsLineBreakOrTab(record.MonitoringServer))
        return QStringLiteral("Monitoring Server");
    if (holdsLineBreakOrTab(record.UserName))
        return QStringLiteral("User Name");
    return std::nullopt;
}

QString entryFault(const AccountRecord& record) {
    if (!isComplete(record))
        return kCompleteAllDetails;
    // A TAB or a line break would turn one account into others when the file is read back.
    if (const auto field = forbiddenField(record))
        return QStringLiteral("The %1 must not hold a TAB or a line break.").arg(*field);
    return {};
}

AccountsFile::AccountsFile(QDir programDir) : m_dir(std::move(programDir)) {}

QString AccountsFile::path() const {
    return m_dir.filePath(kAccountsFileName);
}

AccountsRead AccountsFile::read() const {
    return parse(readTextLines(path(), kMaxAccountsBytes));
}

AccountsRead AccountsFile::parse(const TextFileRead& file) {
    AccountsRead result;
    const QString name = file.path.isEmpty() ? kAccountsFileName : file.path;
    result.exists = file.exists;
    result.error = file.error;
    result.raw = file.raw;
    if (!file.exists) {
        result.usable = false;
        result.problems << QStringLiteral("%1 not found: no accounts to poll. Open Settings, "
                                          "then Accounts, add the accounts and press Save "
                                          "Settings.")
                               .arg(name);
        return result;
    }
    if (!file.readable) {
        result.usable = false;
        result.problems
            << QStringLiteral("%1 cannot be read (%2): no accounts to poll.").arg(name, file.error);
        return result;
    }
    const QStringList& lines = file.lines;
    // Saving an empty list writes a single line end: that is an empty list, not a fault.
    if (lines.size() == 1 && lines.first().isEmpty())
        return result;
    const qsizetype complete = lines.size() / 3;
    for (qsizetype i = 0; i < complete; ++i)
        result.records.append({lines.at(3 * i), lines.at(3 * i + 1), lines.at(3 * i + 2)});
    const qsizetype tail = lines.size() % 3;
    if (tail != 0) {
        const qsizetype first = 3 * complete;
        result.incomplete =
            AccountRecord{lines.at(first), tail > 1 ? lines.at(first + 1) : QString(), QString()};
        result.incompleteLine = int(first + 1);
        result.problems << QStringLiteral("%1 ends in an incomplete account (line %2 onwards, "
                                          "%3 of its 3 lines): it is not polled. Open Accounts, "
                                          "complete it and press Save Settings.")
                               .arg(name)
                               .arg(3 * complete + 1)
                               .arg(tail);
    }
    return result;
}

QString AccountsFile::writeEmptyIfMissing() const {
    return QFileInfo::exists(path()) ? QString() : write({});
}

QStringList AccountsFile::fileLines(const QStringList& entries) {
    QStringList lines;
    for (const QString& entry : entries)
        lines += entry.split(kTab);
    if (lines.isEmpty())
        lines << QString();
    return lines;
}

AccountsFile::SaveCheck AccountsFile::checkSave(const AccountsRead& shown,
                                                const QStringList& entries) const {
    if (shown.exists && !shown.usable) {
        return {QStringLiteral("%1 was not saved: it could not be read (%2), so the accounts in "
                               "it are not known here.")
                    .arg(path(), shown.error),
                {}};
    }
    SaveCheck check;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const auto record = fromListEntry(entries.at(i));
        if (record && !isComplete(*record)) {
            check.questions << QStringLiteral("Account %1 (%2) is incomplete and cannot be "
                                              "polled. Save it as it is?")
                                   .arg(i + 1)
                                   .arg(record->CompanyName);
        }
    }
    return check;
}

QString AccountsFile::changedQuestion(const AccountsRead& shown) const {
    // A save would silently drop what someone wrote since.
    if (read().raw == shown.raw)
        return {};
    return QStringLiteral("%1 has changed since this window read it. Replace it with the list "
                          "shown here?")
        .arg(path());
}

QString AccountsFile::encode(const QList<AccountRecord>& records, const LineBytes& original,
                             QByteArray& bytes) {
    QStringList entries;
    entries.reserve(records.size());
    for (qsizetype i = 0; i < records.size(); ++i) {
        if (const auto field = forbiddenField(records.at(i))) {
            return QStringLiteral("Account %1 (%2): the field %3 holds a TAB or a line break. "
                                  "%4 was not saved.")
                .arg(i + 1)
                .arg(records.at(i).CompanyName.simplified(), *field, kAccountsFileName);
        }
        entries << toListEntry(records.at(i));
    }
    bytes = original.encode(fileLines(entries));
    return {};
}

QString AccountsFile::write(const QList<AccountRecord>& records, const LineBytes& original) const {
    QByteArray bytes;
    const QString error = encode(records, original, bytes);
    return error.isEmpty() ? writeBytesAtomically(path(), bytes) : error;
}

QString AccountsFile::writeEntries(const QStringList& entries, const LineBytes& original) const {
    QList<AccountRecord> records;
    records.reserve(entries.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const auto record = fromListEntry(entries.at(i));
        if (!record) {
            return QStringLiteral("Entry %1: a field holds a TAB, so it does not split into "
                                  "Company Name, Monitoring Server and User Name. %2 was not "
                                  "saved.")
                .arg(i + 1)
                .arg(kAccountsFileName);
        }
        records.append(*record);
    }
    return write(records, original);
}

} // namespace courivane
