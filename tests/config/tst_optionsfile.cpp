#include "config/ConfigPlace.h"
#include "config/OptionsFile.h"

#include "TestFiles.h"

#include <QFileInfo>
#include <QTemporaryDir>

using namespace courivane;
using namespace courivane::testing;

namespace {

// The flags in file order, "|" between them; a port that is not usable reads "bad".
QString flagsText(const OptionFlags& f) {
    return QStringList{f.EnableSound,    f.EnablePopups,
                       f.MakeMoveable,   f.SplitIcmpWeb,
                       f.GraphicDisplay, f.ShowErrorsOnly,
                       f.StatusSummary,  f.EnableProxy,
                       f.ProxyAddress,   f.proxyPortValid ? QString::number(f.ProxyPort) : "bad"}
        .join(u'|');
}

const QByteArray kFirstEight = "YES\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nYES\r\n";

// The bytes (null: no file), read at a cycle (lines 4 to 7 stay) or at start-up, the flags, the
// problem.
const std::tuple<const char*, QByteArray, bool, const char*, const char*> kReads[] = {
    {"start-up reads every line as written",
     "yes\r\nYES\r\nYES \r\nNO\r\nNO\r\nYES\r\nNO\r\nYES\r\nproxy1\r\n3128\r\n", false,
     "yes|YES|YES |NO|NO|YES|NO|YES|proxy1|3128", nullptr},
    {"a cycle keeps lines 4 to 7 and skips the proxy lines when off",
     "NO\nYES\nYES\nNO\nNO\nYES\nNO\nNO\nproxy1\n3128\n", true, "NO|YES|YES|YES|YES|NO|YES|NO||80",
     nullptr},
    {"missing: the defaults", {}, false, "YES|NO|NO|YES|YES|NO|YES|NO||80", "not found"},
    {"short: what it has", "NO\r\nYES\r\nYES\r\nNO\r\n", false, "NO|YES|YES|NO|YES|NO|YES|NO||80",
     "4 of its 8 lines"},
    {"proxy lines missing", kFirstEight, false, "YES|NO|NO|YES|YES|NO|YES|YES||bad",
     "8 of its 10 lines"},
    {"proxy without an address", kFirstEight + "\r\n3128\r\n", true,
     "YES|NO|NO|YES|YES|NO|YES|YES||3128", "line 9"},
    {"LF line ends keep an empty line", "YES\nNO\nNO\nYES\nYES\nNO\nYES\nYES\n\n3128\n", true,
     "YES|NO|NO|YES|YES|NO|YES|YES||3128", "line 9"},
    {"a lone CR ends a line", "YES\rNO\rNO\rYES\rYES\rNO\rYES\rYES\rp\r1\r", true,
     "YES|NO|NO|YES|YES|NO|YES|YES|p|1", nullptr},
    {"lowest port", kFirstEight + "p\r\n1\r\n", true, "YES|NO|NO|YES|YES|NO|YES|YES|p|1", nullptr},
    {"highest port", kFirstEight + "p\r\n65535\r\n", true, "YES|NO|NO|YES|YES|NO|YES|YES|p|65535",
     nullptr},
    {"leading zeros", kFirstEight + "p\r\n03128\r\n", true, "YES|NO|NO|YES|YES|NO|YES|YES|p|3128",
     nullptr},
};

// The proxy switch, address and port the settings dialog would save; what its refusal names.
const std::tuple<const char*, const QString&, const char*, const char*, const char*> kProxyLines[] =
    {
        {"proxy off: neither line is written", kNo, "a\tb", "0", ""},
        {"a line break in the address", kYes, "proxy1\n", "3128", "Address must not hold"},
        {"no address", kYes, "", "3128", "Address must not be empty"},
        {"a port that is no port", kYes, "proxy1", "65536", "Port"},
        {"a usable pair", kYes, "proxy1", "65535", ""},
};

const char* const kBadPorts[] = {"abc", "0", "70000", "-1", "", "+18100", " 18100", "65536"};

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

} // namespace

class TestOptionsFile : public QObject {
    Q_OBJECT
private:
    QDir dir() const { return QDir(m_tmp->path()); }
    std::unique_ptr<QTemporaryDir> m_tmp;

private slots:
    void init() { m_tmp = std::make_unique<QTemporaryDir>(); }

    void writesTenLinesWithCrLf() {
        OptionTexts o = {kYes, kNo, kNo, kYes, kYes, kNo, kYes, kNo, "proxy1 ", "31x"};
        QCOMPARE(OptionsFile(dir()).write(o), QString());
        QCOMPARE(readBytes(dir(), kOptionsFileName), // proxy off: two empty lines
                 QByteArray("YES\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nNO\r\n\r\n\r\n"));
        o[ProxyLine] = kYes;
        QCOMPARE(OptionsFile(dir()).write(o), QString());
        QCOMPARE(readBytes(dir(), kOptionsFileName), kFirstEight + "proxy1 \r\n31x\r\n");
    }

    void reads_data() { addRows(kReads); }
    void reads() {
        const auto& [name, bytes, cycle, flags, problem] = currentRow(kReads);
        if (!bytes.isNull())
            writeBytes(dir(), kOptionsFileName, bytes);
        OptionFlags f;
        if (cycle) { // what start-up or the dialog set before
            f.MakeMoveable = f.ShowErrorsOnly = kNo;
            f.EnableProxy = kYes;
            f.ProxyAddress = QStringLiteral("old");
            f.ProxyPort = 8080;
        }
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
        QVERIFY(isYes(f.EnableProxy) == (f.EnableProxy == kYes));
    }

    void badPortsAreReportedAndMarked() {
        for (const char* port : kBadPorts) {
            writeBytes(dir(), kOptionsFileName, kFirstEight + "proxy1\r\n" + port + "\r\n");
            OptionFlags f;
            const QStringList problems = OptionsFile(dir()).readCycle(f);
            QCOMPARE(problems.size(), 1);
            QVERIFY2(problems.first().contains(QStringLiteral("line 10")) &&
                         problems.first().contains(QStringLiteral("\"%1\"").arg(port)),
                     qPrintable(problems.first()));
            QVERIFY(!f.proxyPortValid);
        }
    }

    void proxyLinesTheDialogRefuses_data() { addRows(kProxyLines); }
    void proxyLinesTheDialogRefuses() {
        const auto& [name, proxy, address, port, refusal] = currentRow(kProxyLines);
        OptionTexts o;
        std::tie(o[ProxyLine], o[AddressLine], o[PortLine]) = std::tuple(proxy, address, port);
        const QString fault = proxyLinesFault(o);
        QVERIFY2(*refusal ? fault.contains(refusal) : fault.isEmpty(), qPrintable(fault));
    }

    void theDialogReadsAsWrittenAndSavesBytesBack() {
        // Line 9 as a Windows editor wrote it, in Windows-1252.
        const QByteArray old = kFirstEight + "B\xfcro\x92s proxy\r\nabc\r\n";
        writeBytes(dir(), kOptionsFileName, old);
        LineBytes bytes;
        OptionTexts o = OptionsFile(dir()).readForDialog(&bytes);
        QCOMPARE(o[PopupsLine], kNo);
        QCOMPARE(o[AddressLine], QStringLiteral("Büro\u2019s proxy"));
        QCOMPARE(o[PortLine], QStringLiteral("abc")); // shown as written, to be corrected
        QCOMPARE(OptionsFile(dir()).write(o, bytes), QString());
        QCOMPARE(readBytes(dir(), kOptionsFileName), old);
        // An edited address is written in the file's own encoding.
        o[AddressLine] = QStringLiteral("Café");
        QCOMPARE(OptionsFile(dir()).write(o, bytes), QString());
        QVERIFY(readBytes(dir(), kOptionsFileName).contains("\r\nCaf\xe9\r\n"));
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
        QCOMPARE(OptionsFile(xdg).write(OptionTexts{}), QString());
        const auto rw = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                        QFileDevice::WriteUser;
        QCOMPARE(QFileInfo(xdg.path()).permissions() & 0x7777,
                 rw | QFileDevice::ExeOwner | QFileDevice::ExeUser);
        QCOMPARE(QFileInfo(xdg.filePath(kOptionsFileName)).permissions() & 0x7777, rw);
    }

    void failedSaveKeepsTheOldFile() {
        const QByteArray old = "NO\r\nNO\r\nNO\r\nNO\r\nNO\r\nNO\r\nNO\r\nNO\r\n\r\n\r\n";
        writeBytes(dir(), kOptionsFileName, old);
        OptionTexts o;
        o[ProxyLine] = kYes;
        o[AddressLine] = QString(200, u'p');
        QString error;
        {
            const FileSizeLimit full(64);
            error = OptionsFile(dir()).write(o);
        }
        QVERIFY(!error.isEmpty());
        QCOMPARE(readBytes(dir(), kOptionsFileName), old);
        QCOMPARE(dir().entryList(QDir::Files), QStringList{kOptionsFileName});
    }
};

QTEST_GUILESS_MAIN(TestOptionsFile)
#include "tst_optionsfile.moc"
