#include "config/AccountsFile.h"

#include "TestFiles.h"

#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

using namespace courivane;
using namespace courivane::testing;

namespace {

// The bytes, the complete records, where the problem points, the incomplete one.
const std::tuple<const char*, QByteArray, int, const char*, AccountRecord> kIncomplete[] = {
    {"one line over", "A\r\nm\r\nu\r\nB\r\n", 1, "line 4", {"B", "", ""}},
    {"two lines over", "A\r\nm\r\nu\r\nB\r\nn\r\n", 1, "line 4", {"B", "n", ""}},
    {"only two lines", "A\r\nm\r\n", 0, "line 1", {"A", "m", ""}},
};

const std::tuple<const char*, AccountRecord, const char*> kRefused[] = {
    {"tab in company", {"A\tx", "m", "u"}, "Company Name"},
    {"CR in server", {"A", "m\r", "u"}, "Monitoring Server"},
    {"LF in user", {"A", "m", "u\nv"}, "User Name"},
};

} // namespace

class TestAccountsFile : public QObject {
    Q_OBJECT
private:
    QDir dir() const { return QDir(m_tmp->path()); }
    std::unique_ptr<QTemporaryDir> m_tmp;

private slots:
    void init() { m_tmp = std::make_unique<QTemporaryDir>(); }

    void writesThreeLinesPerRecordAndReadsThemBack() {
        const QList<AccountRecord> records = {{"Acme", "mon1", "acme"},
                                              {" Acme ", "mon1:8080", "acme"}};
        QCOMPARE(AccountsFile(dir()).write(records), QString());
        QCOMPARE(readBytes(dir(), kAccountsFileName),
                 QByteArray("Acme\r\nmon1\r\nacme\r\n Acme \r\nmon1:8080\r\nacme\r\n"));
        AccountsRead back = AccountsFile(dir()).read();
        QCOMPARE(back.records, records);
        QCOMPARE(back.problems, QStringList());
        // Dialog entries, TAB-separated, become the same lines.
        const QStringList entries = {"A\tm\tu", "B\tn\tv"};
        QCOMPARE(AccountsFile::fileLines(entries), (QStringList{"A", "m", "u", "B", "n", "v"}));
        // An empty list is one line end, and reads back as no accounts without a problem.
        QCOMPARE(AccountsFile(dir()).writeEntries({}), QString());
        QCOMPARE(readBytes(dir(), kAccountsFileName), QByteArray("\r\n"));
        back = AccountsFile(dir()).read();
        QVERIFY(back.records.isEmpty() && back.problems.isEmpty() && back.usable);
        // LF line ends and duplicates are read as they are.
        writeBytes(dir(), kAccountsFileName, "Acme\nmon1\nacme\nAcme\nmon1\nacme");
        back = AccountsFile(dir()).read();
        QCOMPARE(back.records, (QList<AccountRecord>(2, {"Acme", "mon1", "acme"})));
    }

    void incompleteTailIsReportedAndKeptApart_data() { addRows(kIncomplete); }
    void incompleteTailIsReportedAndKeptApart() {
        const auto& [name, bytes, records, where, incomplete] = currentRow(kIncomplete);
        writeBytes(dir(), kAccountsFileName, bytes);
        const AccountsRead back = AccountsFile(dir()).read();
        QCOMPARE(back.records.size(), records);
        QCOMPARE(back.problems.size(), 1);
        // The advice must not be a step that deletes the account.
        QVERIFY2(back.problems.first().contains(where) &&
                     !back.problems.first().contains(QStringLiteral("repair")),
                 qPrintable(back.problems.first()));
        QCOMPARE(back.incomplete, std::optional(incomplete));
    }

    void aSaveOfTheDialogsListAsksFirst() {
        QCOMPARE(entryFault({"A", "", "u"}), kCompleteAllDetails);
        QCOMPARE(entryFault({"A", "m", "u"}), QString());
        writeBytes(dir(), kAccountsFileName, "A\r\nm\r\nu\r\nHalf\r\n");
        const AccountsFile file(dir());
        const AccountsRead shown = file.read();
        const auto check = file.checkSave(shown, {"A\tm\tu", "Half\t\t", "\tn\tv", "B\tn\tv"});
        QCOMPARE(check.refusal, QString());
        QCOMPARE(check.questions.size(), 2);
        QVERIFY(check.questions.first().startsWith("Account 2 (Half) is incomplete"));
        QVERIFY(check.questions.last().startsWith("Account 3 () is incomplete"));
        QCOMPARE(file.changedQuestion(shown), QString());
        writeBytes(dir(), kAccountsFileName, "A\r\nm\r\nu\r\n");
        QVERIFY(file.changedQuestion(shown).startsWith(file.path() + " has changed"));
    }

    void mixedEncodingsSurviveAnUneditedSave() {
        // A UTF-8 line, a Windows-1252 line with bytes from 0x80 to 0x9F, and plain ASCII.
        const QByteArray old = "M\xc3\xbcnchen Hof\r\nmon1\r\nmuc\r\n"
                               "Caf\xe9 \x93Rose\x94 \x80\r\nmon2\r\ncafe\r\n";
        writeBytes(dir(), kAccountsFileName, old);
        const AccountsRead back = AccountsFile(dir()).read();
        QCOMPARE(back.records.at(0).CompanyName, QStringLiteral("München Hof"));
        QCOMPARE(back.records.at(1).CompanyName, QStringLiteral("Café \u201CRose\u201D \u20AC"));
        const LineBytes original(back.raw);
        QVERIFY(original.windows1252());
        QCOMPARE(AccountsFile(dir()).write(back.records, original), QString());
        QCOMPARE(readBytes(dir(), kAccountsFileName), old);

        // Edited lines go in the file's encoding, or UTF-8 where it has no byte for a character.
        QList<AccountRecord> edited = back.records;
        edited[0].UserName = QStringLiteral("mü");
        edited[1].UserName = QStringLiteral("caf\u0107");
        QCOMPARE(AccountsFile(dir()).write(edited, original), QString());
        QCOMPARE(readBytes(dir(), kAccountsFileName),
                 QByteArray("M\xc3\xbcnchen Hof\r\nmon1\r\nm\xfc\r\n"
                            "Caf\xe9 \x93Rose\x94 \x80\r\nmon2\r\ncaf\xc4\x87\r\n"));
        // Both ends of Windows-1252's upper half have their byte; what it lacks has none.
        QCOMPARE(toWindows1252(QStringLiteral("\u00a0\u00ff\u20ac")), QByteArray("\xa0\xff\x80"));
        QVERIFY(!toWindows1252(QStringLiteral("\u0107")));
        // A UTF-8 file stays UTF-8.
        QCOMPARE(AccountsFile(dir()).write(edited), QString());
        QVERIFY(readBytes(dir(), kAccountsFileName).contains("\r\nm\xc3\xbc\r\n"));
    }

    void filesThatAreNotFilesAreNotRead() {
        const QString path = dir().filePath(kAccountsFileName);
        const QByteArray native = QFile::encodeName(path);
        for (const char* kind : {"missing", "FIFO", "link to /dev/zero", "directory", "64 MiB"}) {
            const QByteArray k(kind);
            if (k == "FIFO")
                QCOMPARE(::mkfifo(native.constData(), 0600), 0);
            else if (k == "link to /dev/zero")
                QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
            else if (k == "directory")
                QVERIFY(dir().mkdir(kAccountsFileName));
            else if (k == "64 MiB") { // sparse: only its size is large
                writeBytes(dir(), kAccountsFileName, "A");
                QCOMPARE(::truncate(native.constData(), kMaxAccountsBytes + 1), 0);
            }
            const AccountsRead back = AccountsFile(dir()).read();
            QVERIFY(!back.usable && back.records.isEmpty());
            QCOMPARE(back.exists, k != "missing");
            // A file that is there but unknown is never replaced; a missing one may be created.
            QCOMPARE(AccountsFile(dir()).checkSave(back, {}).refusal.isEmpty(), k == "missing");
            QCOMPARE(back.problems.size(), 1);
            const char* reason = k == "missing"  ? " not found"
                                 : k == "64 MiB" ? "larger than"
                                                 : "not a regular file";
            QVERIFY2(back.problems.first().startsWith(path) &&
                         back.problems.first().contains(reason),
                     qPrintable(back.problems.first()));
            if (k == "directory")
                QVERIFY(dir().rmdir(kAccountsFileName));
            else
                QFile::remove(path);
        }
    }

    void listEntryForm() {
        const AccountRecord r{"A B", " mon1", "u "};
        QCOMPARE(toListEntry(r), QStringLiteral("A B\t mon1\tu "));
        QCOMPARE(fromListEntry(toListEntry(r)), r);
        QVERIFY(!fromListEntry(QStringLiteral("A\tB")));
        QVERIFY(!fromListEntry(QStringLiteral("A\tB\tC\tD")));
    }

    void writerRefusesTabsAndLineBreaks_data() { addRows(kRefused); }
    void writerRefusesTabsAndLineBreaks() {
        const auto& [name, record, field] = currentRow(kRefused);
        writeBytes(dir(), kAccountsFileName, "Old\r\nmon\r\nold\r\n");
        QCOMPARE(entryFault(record),
                 QStringLiteral("The %1 must not hold a TAB or a line break.").arg(field));
        const QString error = AccountsFile(dir()).write({{"Ok", "m", "u"}, record});
        QVERIFY2(error.contains(field) && error.contains(QStringLiteral("Account 2")),
                 qPrintable(error));
        QCOMPARE(readBytes(dir(), kAccountsFileName), QByteArray("Old\r\nmon\r\nold\r\n"));
        // A full disk keeps the old file too.
        QString full;
        {
            const FileSizeLimit limit(10);
            full = AccountsFile(dir()).write({{"Company", "mon", "user"}});
        }
        QVERIFY(!full.isEmpty());
        QCOMPARE(readBytes(dir(), kAccountsFileName), QByteArray("Old\r\nmon\r\nold\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestAccountsFile)
#include "tst_accountsfile.moc"
