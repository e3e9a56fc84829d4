#pragma once

#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace courivane {

inline const QString kAccountsFileName = QStringLiteral("CompUserNames.Txt");

// One monitored account, its three fields exactly as typed.
struct AccountRecord {
    QString CompanyName;
    QString MonitoringServer;
    QString UserName;

    bool operator==(const AccountRecord&) const = default;
};

// The accounts dialog's form of a record: the three fields joined by TAB characters.
QString toListEntry(const AccountRecord& record);
// Back from the list-entry form; nothing when the entry does not hold exactly two TABs.
std::optional<AccountRecord> fromListEntry(const QString& entry);

// The field that holds a TAB, CR or LF, if any, by its caption ("Company Name", ...).
std::optional<QString> forbiddenField(const AccountRecord& record);

struct AccountsRead {
    QList<AccountRecord> records;
    QStringList problems;
    bool usable = true; // false when the file is missing or unreadable
};

class AccountsFile {
public:
    explicit AccountsFile(QDir programDir);

    QString path() const;

    // All complete records in file order. A missing file reads as no accounts; an incomplete
    // last record is reported and left out.
    AccountsRead read() const;

    // Writes the records atomically, three lines each. Refuses a field that holds a TAB, a CR or
    // an LF, since it would read back as other records. Returns an empty string on success,
    // otherwise the reason, naming the entry and the field.
    QString write(const QList<AccountRecord>& records) const;
    // The same from the dialog's list entries, in list order.
    QString writeEntries(const QStringList& entries) const;

    // The file text for a list of entries: joined with CR LF, every TAB turned into CR LF, one
    // final CR LF.
    static QString fileText(const QStringList& entries);

private:
    QDir m_dir;
};

} // namespace courivane
