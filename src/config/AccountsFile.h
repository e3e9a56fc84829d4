#pragma once

#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>

#include "config/TextLines.h"

#include <optional>

namespace courivane {

inline const QString kAccountsFileName = QStringLiteral("CompUserNames.Txt");
// Far beyond any real list of accounts; anything larger is not read.
inline constexpr qint64 kMaxAccountsBytes = 64 * 1024 * 1024;

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

inline const QString kCompleteAllDetails = QStringLiteral("You must complete all the details");
// Why the accounts dialog must not take a typed account into its list, or an empty string.
QString entryFault(const AccountRecord& record);

struct AccountsRead {
    QList<AccountRecord> records;
    // A last account of one or two lines: not polled, but the dialog shows it to be completed.
    std::optional<AccountRecord> incomplete;
    int incompleteLine = 0; // where it begins, counted from 1
    QStringList problems;
    bool exists = true;
    bool usable = true; // false when the file is missing or unreadable
    QString error;      // why an existing file could not be read
    QByteArray raw;     // the file as read
};

// A company name as the list of companies prints it: as it is, but for control characters, which
// would act on a terminal (each becomes U+FFFD). Format characters stay: a name may need them
// (U+200C in Persian, U+00AD), and what the list prints must name the company again.
QString listedCompanyName(const QString& name);
// The company a name given on a command line or as a probe's target means: the one named exactly
// so, else the only one whose listed name it is. None when there is no such company.
std::optional<QString> findCompany(const QString& given, const QStringList& companies);
// Every character that does not show (controls, format and bidirectional characters, blanks but
// the space) as <U+XXXX>: what tells two names apart in a message.
QString visibleName(const QString& name);

class AccountsFile {
public:
    explicit AccountsFile(QDir programDir);

    QString path() const;

    // All complete records in file order. A missing file reads as no accounts; an incomplete
    // last record is reported and left out of `records`.
    AccountsRead read() const;
    // The same from a file already read.
    static AccountsRead parse(const TextFileRead& file);

    // Writes the records atomically, three lines each, lines that did not change with the bytes
    // they had in `original`. Refuses a field that holds a TAB, a CR or an LF, since it would
    // read back as other records. Returns an empty string on success, otherwise the reason,
    // naming the entry and the field.
    QString write(const QList<AccountRecord>& records, const LineBytes& original = {}) const;
    // The bytes `write` puts in the file, or the reason it refuses.
    static QString encode(const QList<AccountRecord>& records, const LineBytes& original,
                          QByteArray& bytes);
    // The same from the dialog's list entries, in list order.
    QString writeEntries(const QStringList& entries, const LineBytes& original = {}) const;
    // Writes an empty list when there is no file yet: the first save of the options brings the
    // accounts file along. An existing file is left as it is.
    QString writeEmptyIfMissing() const;

    // Before the dialog's list replaces the file: a refusal when the file the dialog read
    // (`shown`) could not be read, since the accounts in it are not known here; otherwise a
    // question for each incomplete entry, each of which the user must agree to.
    struct SaveCheck {
        QString refusal;
        QStringList questions;
    };
    SaveCheck checkSave(const AccountsRead& shown, const QStringList& entries) const;
    // Asked last, just before the write: the question when someone changed the file since `shown`
    // was read, or an empty string.
    QString changedQuestion(const AccountsRead& shown) const;

    // The file's lines for a list of entries: every TAB turned into a line end; an empty list is
    // a single empty line.
    static QStringList fileLines(const QStringList& entries);

private:
    QDir m_dir;
};

} // namespace courivane
