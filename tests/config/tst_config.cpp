// The configuration: the options file, the accounts file and where both live.
#include "config/AccountsFile.h"
#include "config/ConfigPlace.h"
#include "config/OptionsFile.h"

#include "TestFiles.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

using namespace courivane;
using namespace courivane::testing;

namespace {

QString said(LineSays s) {
    return s == LineSays::Yes ? kYes : s == LineSays::No ? kNo : QStringLiteral("other");
}

// The switches in file order, "|" between them, then the proxy ("direct", or address:port with
// "bad" for a port that is not usable) and how lines 4 and 5 read at start-up.
QString flagsText(const Options& o) {
    QStringList parts;
    for (const OptionRow& row : optionRows())
        parts << yesNo(o.*row.member);
    parts << (o.proxy
                  ? o.proxy->address + u':' +
                        (o.proxy->port ? QString::number(*o.proxy->port) : QStringLiteral("bad"))
                  : QStringLiteral("direct"));
    parts << said(o.splitLine) << said(o.graphicLine);
    return parts.join(u'|');
}

const QByteArray kFirstEight = "YES\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nYES\r\n";
const QByteArray kProxied = kFirstEight + "p\r\n1\r\n";

// The bytes (null: no file), read at a cycle (lines 4 to 7 stay) or at start-up, the flags, the
// problem.
const std::tuple<const char*, QByteArray, bool, const char*, const char*> kReads[] = {
    {"start-up reads every line as written",
     "yes\r\nYES\r\nYES \r\nNO\r\nNO\r\nYES\r\nNO\r\nYES\r\nproxy1\r\n3128\r\n", false,
     "NO|YES|NO|NO|NO|YES|NO|proxy1:3128|NO|NO", nullptr},
    // Line 4 edited by hand is said to wait; lines 5 to 7 say what is in use.
    {"a cycle keeps lines 4 to 7 and skips the proxy lines when off",
     "NO\nYES\nYES\nNO\nYES\nNO\nYES\nNO\nproxy1\n3128\n", true,
     "NO|YES|YES|YES|YES|NO|YES|direct|YES|YES",
     "line 4 says NO, but Split ICMP and Web stays YES"},
    {"a cycle keeps Show Errors Only as it is in use", "NO\nYES\nYES\nYES\nYES\nYES\nYES\nNO\n",
     true, "NO|YES|YES|YES|YES|NO|YES|direct|YES|YES", "line 6 says YES"},
    {"missing: the defaults, notices on",
     {},
     false,
     "YES|YES|NO|YES|YES|NO|YES|direct|YES|YES",
     "not found"},
    {"short: what it has", "NO\r\nYES\r\nYES\r\nNO\r\n", false,
     "NO|YES|YES|NO|YES|NO|YES|direct|NO|YES", "4 of its 8 lines"},
    {"proxy lines missing", kFirstEight, false, "YES|NO|NO|YES|YES|NO|YES|:bad|YES|YES",
     "8 of its 10 lines"},
    {"proxy without an address", kFirstEight + "\r\n3128\r\n", true,
     "YES|NO|NO|YES|YES|NO|YES|:3128|YES|YES", "line 9"},
    {"LF line ends keep an empty line", "YES\nNO\nNO\nYES\nYES\nNO\nYES\nYES\n\n3128\n", true,
     "YES|NO|NO|YES|YES|NO|YES|:3128|YES|YES", "line 9"},
    {"the largest file read", kProxied + QByteArray(kMaxOptionsBytes - kProxied.size(), 'x'), true,
     "YES|NO|NO|YES|YES|NO|YES|p:1|YES|YES", nullptr},
    {"a lone CR ends a line", "YES\rNO\rNO\rYES\rYES\rNO\rYES\rYES\rp\r1\r", true,
     "YES|NO|NO|YES|YES|NO|YES|p:1|YES|YES", nullptr},
};

// The proxy switch, address and port the settings dialog would save; what its refusal names.
const std::tuple<const char*, const QString&, const char*, const char*, const char*> kProxyLines[] =
    {
        {"proxy off: neither line is written", kNo, "a\tb", "0", ""},
        {"a line break in the address", kYes, "proxy1\n", "3128", "Address must not hold"},
        {"no address", kYes, "", "3128", "Address must not be empty"},
        {"a port that is no port", kYes, "proxy1", "65536", "Port"},
        {"a blank and junk in the address", kYes, "127.0.0.1 junk", "3128", "host name or an IP"},
        {"a URL for an address", kYes, "http://proxy1", "3128", "host name or an IP"},
        {"a usable pair", kYes, "proxy1", "65535", ""},
        {"an IPv6 address", kYes, "[::1]", "3128", ""},
};

// Line 10 as written, and the port it gives; 0: none.
const std::pair<const char*, int> kPorts[] = {
    {"1", 1},  {"65535", 65535}, {"03128", 3128}, {"abc", 0},    {"0", 0},     {"70000", 0},
    {"-1", 0}, {"", 0},          {"+18100", 0},   {" 18100", 0}, {"65536", 0}, {"000080", 0},
};

// The option, the file beside the program, XDG_CONFIG_HOME, the directory (relative to the scratch
// one unless absolute).
const std::tuple<const char*, const char*, const char*, const char*, const char*> kPlaces[] = {
    {"beside the executable wins", "", "Proxy.Txt", "/x", "program"},
    {"the accounts file alone is enough", "", "CompUserNames.Txt", "/x", "program"},
    {"otherwise XDG_CONFIG_HOME", "", "", "/x", "/x/courivane"},
    {"unset: ~/.config", "", "", "", "home/.config/courivane"},
    {"relative XDG_CONFIG_HOME is ignored", "", "", "rel", "home/.config/courivane"},
    {"--config-dir wins over both", "/c", "Proxy.Txt", "/x", "/c"},
};

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

class TestConfig : public QObject {
    Q_OBJECT
private:
    QDir dir() const { return QDir(m_tmp->path()); }
    std::unique_ptr<QTemporaryDir> m_tmp;

private slots:
    void init() { m_tmp = std::make_unique<QTemporaryDir>(); }

    void writesTenLinesWithCrLf() {
        OptionsForm o{{true, false, false, true, true, false, true, false}, "proxy1 ", "31x"};
        QCOMPARE(OptionsFile(dir()).write(o), QString());
        QCOMPARE(readBytes(dir(), kOptionsFileName), // proxy off: two empty lines
                 QByteArray("YES\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nNO\r\n\r\n\r\n"));
        o.on[ProxyLine] = true;
        QCOMPARE(OptionsFile(dir()).write(o), QString());
        QCOMPARE(readBytes(dir(), kOptionsFileName), kFirstEight + "proxy1 \r\n31x\r\n");
    }

    void reads_data() { addRows(kReads); }
    void reads() {
        const auto& [name, bytes, cycle, flags, problem] = currentRow(kReads);
        if (!bytes.isNull())
            writeBytes(dir(), kOptionsFileName, bytes);
        Options f;
        if (cycle) // what start-up set before
            f.proxy = ProxyServer{QStringLiteral("old"), 8080};
        OptionsFile file(dir());
        const QStringList problems = cycle ? file.readCycle(f) : file.readStartup(f);
        QCOMPARE(flagsText(f), QString::fromLatin1(flags));
        QCOMPARE(problems.size(), problem ? 1 : 0);
        if (problem) {
            // Named by its full path: the user sees which directory was read.
            QVERIFY2(problems.first().startsWith(dir().filePath(kOptionsFileName)) &&
                         problems.first().contains(problem),
                     qPrintable(problems.first()));
        }
    }

    void portsAreReadOrReportedAndMarked() {
        for (const auto& [port, value] : kPorts) {
            writeBytes(dir(), kOptionsFileName, kFirstEight + "proxy1\r\n" + port + "\r\n");
            Options f;
            const QStringList problems = OptionsFile(dir()).readCycle(f);
            QCOMPARE(f.proxy->port.value_or(0), value);
            QCOMPARE(problems.size(), value > 0 ? 0 : 1);
            if (value == 0)
                QVERIFY2(problems.first().contains(QStringLiteral("line 10")) &&
                             problems.first().contains(QStringLiteral("\"%1\"").arg(port)),
                         qPrintable(problems.first()));
        }
    }

    void wholeNumbersOfACommandLine() {
        // From 1 to 64; 0: refused. Leading zeros are no reason to refuse, ten digits are.
        const std::pair<const char*, int> numbers[] = {
            {"1", 1},  {"64", 64}, {"0", 0},  {"65", 0},          {"0064", 64},
            {"+8", 0}, {"", 0},    {"8 ", 0}, {"00000000008", 8}, {"1000000000", 0}};
        for (const auto& [text, value] : numbers)
            QCOMPARE(parseWholeNumber(text, 1, 64).value_or(0), value);
        QCOMPARE(parseWholeNumber("999999999", 1, INT_MAX), 999999999);
    }

    void proxyLinesTheDialogRefuses_data() { addRows(kProxyLines); }
    void proxyLinesTheDialogRefuses() {
        const auto& [name, proxy, address, port, refusal] = currentRow(kProxyLines);
        OptionsForm o;
        std::tie(o.on[ProxyLine], o.address, o.port) = std::tuple(isYes(proxy), address, port);
        const QString fault = proxyLinesFault(o);
        QVERIFY2(*refusal ? fault.contains(refusal) : fault.isEmpty(), qPrintable(fault));
    }

    void theDialogReadsAsWritten() {
        // Line 9 as a Windows editor wrote it, in Windows-1252.
        const QByteArray old = kFirstEight + "B\xfcro\x92s proxy\r\nabc\r\n";
        writeBytes(dir(), kOptionsFileName, old);
        LineBytes bytes;
        const OptionsForm o = OptionsFile(dir()).readForDialog(&bytes);
        QCOMPARE(o.on, (std::array<bool, AddressLine>{true, false, false, true, true, false, true,
                                                      true}));
        QCOMPARE(o.address, QStringLiteral("Büro\u2019s proxy"));
        QCOMPARE(o.port, QStringLiteral("abc")); // shown as written, to be corrected
        QVERIFY(bytes.windows1252());
    }

    void whereTheConfigurationLives_data() { addRows(kPlaces); }
    void whereTheConfigurationLives() {
        const auto& [name, option, besideProgram, xdg, expected] = currentRow(kPlaces);
        const QString program = dir().filePath(QStringLiteral("program"));
        QVERIFY(dir().mkdir(QStringLiteral("program")));
        if (*besideProgram)
            writeBytes(QDir(program), besideProgram, "");
        const QString home = dir().filePath(QStringLiteral("home"));
        QCOMPARE(configDirectory({option, program, xdg, home}),
                 *expected == '/' ? QString(expected) : dir().filePath(expected));
    }

    void theFirstSaveMakesAPrivateDirectory() {
        const QDir xdg(dir().filePath(QStringLiteral("xdg/courivane")));
        QCOMPARE(OptionsFile(xdg).write(OptionsForm{}), QString());
        const auto rw = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                        QFileDevice::WriteUser;
        QCOMPARE(QFileInfo(xdg.path()).permissions() & 0x7777,
                 rw | QFileDevice::ExeOwner | QFileDevice::ExeUser);
        QCOMPARE(QFileInfo(xdg.filePath(kOptionsFileName)).permissions() & 0x7777, rw);
    }

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
    }

    void mixedEncodingsSurviveAnUneditedSave() {
        // A UTF-8 line, a Windows-1252 line with bytes from 0x80 to 0x9F, and plain ASCII; the
        // same user name twice, once in each encoding: each line keeps its own bytes.
        const QByteArray old = "M\xc3\xbcnchen Hof\r\nmon1\r\nm\xc3\xbc\r\n"
                               "Caf\xe9 \x93Rose\x94 \x80\r\nmon2\r\nm\xfc\r\n";
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
        edited[0].UserName = QStringLiteral("m\u00f6");
        edited[1].UserName = QStringLiteral("caf\u0107");
        QCOMPARE(AccountsFile(dir()).write(edited, original), QString());
        QCOMPARE(readBytes(dir(), kAccountsFileName),
                 QByteArray("M\xc3\xbcnchen Hof\r\nmon1\r\nm\xf6\r\n"
                            "Caf\xe9 \x93Rose\x94 \x80\r\nmon2\r\ncaf\xc4\x87\r\n"));
        // Both ends of Windows-1252's upper half have their byte; what it lacks has none.
        QCOMPARE(toWindows1252(QStringLiteral("\u00a0\u00ff\u20ac")), QByteArray("\xa0\xff\x80"));
        QVERIFY(!toWindows1252(QStringLiteral("\u0107")) &&
                !toWindows1252(QStringLiteral("\u0080")));
        // Windows-1252 bytes that a reader would take for UTF-8 are written as UTF-8 instead.
        edited[1].CompanyName = QStringLiteral("CAF\u00c9\u2019S DELI");
        QCOMPARE(AccountsFile(dir()).write(edited, original), QString());
        QCOMPARE(AccountsFile(dir()).read().records, edited);
        // A UTF-8 file stays UTF-8.
        QCOMPARE(AccountsFile(dir()).write(edited), QString());
        QVERIFY(readBytes(dir(), kAccountsFileName).contains("\r\nm\xc3\xb6\r\n"));
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

    void aSaveReplacesOnlyAFileAndKeepsItsMode() {
        QTemporaryDir elsewhere;
        const QString link = dir().filePath(kOptionsFileName);
        const QString target = QDir(elsewhere.path()).filePath(QStringLiteral("options"));
        const QByteArray native = QFile::encodeName(target);
        const QByteArray leftover = QFile::encodeName(target) + ".saving-k1ll9d";
        writeBytes(QDir(elsewhere.path()), QStringLiteral("options.saving-k1ll9d"), "half");
        QFile killed(QString::fromLocal8Bit(leftover));
        QVERIFY(killed.open(QIODevice::ReadWrite) &&
                killed.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                   QFileDevice::FileModificationTime));
        killed.close();
        QVERIFY(QFile::link(target, link));
        for (const char* kind : {"absent", "0644 file", "FIFO"}) {
            const QByteArray k(kind);
            QFile::remove(target);
            if (k == "0644 file") {
                writeBytes(QDir(elsewhere.path()), QStringLiteral("options"), "old");
                QCOMPARE(::chmod(native.constData(), 0644), 0);
            } else if (k == "FIFO") {
                QCOMPARE(::mkfifo(native.constData(), 0600), 0);
            }
            OptionsForm typed;
            typed.on[PopupsLine] = true;
            const QString error = OptionsFile(dir()).write(typed);
            struct stat after {};
            QCOMPARE(::stat(native.constData(), &after), 0);
            QVERIFY(QFileInfo(link).isSymLink());
            if (k == "FIFO") {
                QVERIFY2(error.contains(QStringLiteral("not a regular file")), qPrintable(error));
                QVERIFY(S_ISFIFO(after.st_mode));
            } else {
                QCOMPARE(error, QString());
                QCOMPARE(after.st_mode & 07777, k == "absent" ? 0600u : 0644u);
                QCOMPARE(OptionsFile(dir()).readForDialog().on[PopupsLine], true);
            }
        }
        // The killed save's leftover went with the first save, and nothing else was left.
        QCOMPARE(QDir(elsewhere.path())
                     .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("options")});
    }

    void listEntryForm() {
        const AccountRecord r{"A B", " mon1", "u "};
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
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
