#include "config/ConfigPlace.h"
#include "config/OptionsFile.h"

#include "TestFiles.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace courivane;
using namespace courivane::testing;

class TestOptionsFile : public QObject {
    Q_OBJECT
private:
    QDir dir() const { return QDir(m_tmp->path()); }
    std::unique_ptr<QTemporaryDir> m_tmp;

private slots:
    void init() { m_tmp = std::make_unique<QTemporaryDir>(); }

    void writesTenLinesWithCrLf_data() {
        QTest::addColumn<bool>("proxy");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("proxy off: two empty lines")
            << false << QByteArray("YES\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nNO\r\n\r\n\r\n");
        QTest::newRow("proxy on: address and port as typed")
            << true
            << QByteArray(
                   "YES\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nYES\r\nproxy1 \r\n31x\r\n");
    }
    void writesTenLinesWithCrLf() {
        QFETCH(bool, proxy);
        QFETCH(QByteArray, expected);
        const OptionTexts o = {kYes,
                               kNo,
                               kNo,
                               kYes,
                               kYes,
                               kNo,
                               kYes,
                               yesNo(proxy),
                               QStringLiteral("proxy1 "),
                               QStringLiteral("31x")};
        QCOMPARE(OptionsFile(dir()).write(o), QString());
        QCOMPARE(readBytes(dir(), kOptionsFileName), expected);
    }

    void showErrorsOnlyComesBeforeStatusSummary() {
        OptionTexts o;
        o[ErrorsOnlyLine] = kYes;
        o[SummaryLine] = kNo;
        const QStringList lines = OptionsFile::lines(o);
        QCOMPARE(lines.at(5), QStringLiteral("YES"));
        QCOMPARE(lines.at(6), QStringLiteral("NO"));
    }

    void startupReadsEveryLine() {
        writeBytes(dir(), kOptionsFileName,
                   "yes\r\nYES\r\nYES \r\nNO\r\nNO\r\nYES\r\nNO\r\nYES\r\nproxy1\r\n3128\r\n");
        OptionFlags f;
        QCOMPARE(OptionsFile(dir()).readStartup(f), QStringList());
        QCOMPARE(f.EnableSound, QStringLiteral("yes")); // kept as written, and off
        QVERIFY(!isYes(f.EnableSound));
        QVERIFY(isYes(f.EnablePopups));
        QVERIFY(!isYes(f.MakeMoveable)); // trailing blank: off
        QCOMPARE(f.SplitIcmpWeb, kNo);
        QCOMPARE(f.GraphicDisplay, kNo);
        QCOMPARE(f.ShowErrorsOnly, kYes);
        QCOMPARE(f.StatusSummary, kNo);
        QCOMPARE(f.ProxyAddress, QStringLiteral("proxy1"));
        QCOMPARE(f.ProxyPort, 3128);
        QVERIFY(f.proxyPortValid);
    }

    void cycleReadKeepsLinesFourToSeven() {
        writeBytes(dir(), kOptionsFileName, "NO\nYES\nYES\nNO\nNO\nYES\nNO\nNO\nproxy1\n3128\n");
        OptionFlags f;
        f.SplitIcmpWeb = kYes;
        f.GraphicDisplay = kYes;
        f.ShowErrorsOnly = kNo;
        f.StatusSummary = kYes;
        f.EnableProxy = kYes;
        f.ProxyAddress = QStringLiteral("old");
        f.ProxyPort = 8080;
        QCOMPARE(OptionsFile(dir()).readCycle(f), QStringList());
        QCOMPARE(f.EnableSound, kNo);
        QCOMPARE(f.EnablePopups, kYes);
        QCOMPARE(f.MakeMoveable, kYes);
        QCOMPARE(f.SplitIcmpWeb, kYes);
        QCOMPARE(f.GraphicDisplay, kYes);
        QCOMPARE(f.ShowErrorsOnly, kNo);
        QCOMPARE(f.StatusSummary, kYes);
        // Proxy off: lines 9 and 10 are not read.
        QCOMPARE(f.ProxyAddress, QString());
        QCOMPARE(f.ProxyPort, 80);
    }

    void dialogReadChangesNoFlag() {
        writeBytes(dir(), kOptionsFileName,
                   "YES\r\nNO\r\nNO\r\nNO\r\nNO\r\nNO\r\nNO\r\nYES\r\n proxy1\r\nabc\r\n");
        const OptionTexts d = OptionsFile(dir()).readForDialog();
        QCOMPARE(d[SoundLine], kYes);
        QCOMPARE(d[PopupsLine], kNo);
        QCOMPARE(d[ProxyLine], kYes);
        QCOMPARE(d[AddressLine], QStringLiteral(" proxy1"));
        QCOMPARE(d[PortLine], QStringLiteral("abc")); // shown as written, to be corrected
    }

    void missingFileGivesDefaultsAndAProblem() {
        OptionFlags f;
        const QStringList problems = OptionsFile(dir()).readStartup(f);
        QCOMPARE(problems.size(), 1);
        // Named by its full path: the user sees which directory was read.
        QVERIFY(problems.first().startsWith(dir().filePath(QStringLiteral("Proxy.Txt not found"))));
        QCOMPARE(f.EnableSound, kYes);
        QCOMPARE(f.EnablePopups, kNo);
        QCOMPARE(f.MakeMoveable, kNo);
        QCOMPARE(f.SplitIcmpWeb, kYes);
        QCOMPARE(f.GraphicDisplay, kYes);
        QCOMPARE(f.ShowErrorsOnly, kNo);
        QCOMPARE(f.StatusSummary, kYes);
        QCOMPARE(f.EnableProxy, kNo);
        QCOMPARE(f.ProxyPort, 80);
    }

    void shortFileKeepsWhatItHas() {
        writeBytes(dir(), kOptionsFileName, "NO\r\nYES\r\nYES\r\nNO\r\n");
        OptionFlags f;
        const QStringList problems = OptionsFile(dir()).readStartup(f);
        QCOMPARE(problems.size(), 1);
        QVERIFY(problems.first().contains(QStringLiteral("4 of its 8 lines")));
        QCOMPARE(f.EnableSound, kNo);
        QCOMPARE(f.SplitIcmpWeb, kNo);
        QCOMPARE(f.GraphicDisplay, kYes); // default for line 5
        QCOMPARE(f.EnableProxy, kNo);
    }

    void badPortIsReportedAndMarked_data() {
        QTest::addColumn<QByteArray>("port");
        QTest::newRow("letters") << QByteArray("abc");
        QTest::newRow("zero") << QByteArray("0");
        QTest::newRow("too large") << QByteArray("70000");
        QTest::newRow("negative") << QByteArray("-1");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("sign") << QByteArray("+18100");
        QTest::newRow("blank before") << QByteArray(" 18100");
        QTest::newRow("just too large") << QByteArray("65536");
    }
    void badPortIsReportedAndMarked() {
        QFETCH(QByteArray, port);
        writeBytes(dir(), kOptionsFileName,
                   "YES\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nYES\r\nproxy1\r\n" + port +
                       "\r\n");
        OptionFlags f;
        const QStringList problems = OptionsFile(dir()).readCycle(f);
        QCOMPARE(problems.size(), 1);
        QVERIFY(problems.first().contains(QStringLiteral("line 10")));
        QVERIFY(problems.first().contains(QLatin1Char('"') + QString::fromLatin1(port) +
                                          QLatin1Char('"')));
        QVERIFY(!f.proxyPortValid);
    }

    void portsAtTheEdgesAreRead_data() {
        QTest::addColumn<QByteArray>("port");
        QTest::addColumn<int>("value");
        QTest::newRow("lowest") << QByteArray("1") << 1;
        QTest::newRow("highest") << QByteArray("65535") << 65535;
        QTest::newRow("leading zeros") << QByteArray("03128") << 3128;
    }
    void portsAtTheEdgesAreRead() {
        QFETCH(QByteArray, port);
        writeBytes(dir(), kOptionsFileName,
                   "YES\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nYES\r\nproxy1\r\n" + port +
                       "\r\n");
        OptionFlags f;
        QCOMPARE(OptionsFile(dir()).readCycle(f), QStringList());
        QVERIFY(f.proxyPortValid);
        QTEST(f.ProxyPort, "value");
    }

    void proxyWithoutAddressNamesLineNine() {
        writeBytes(dir(), kOptionsFileName,
                   "YES\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nYES\r\n\r\n3128\r\n");
        OptionFlags f;
        const QStringList problems = OptionsFile(dir()).readCycle(f);
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems.first().contains(QStringLiteral("line 9")), qPrintable(problems.first()));
    }

    void windows1252AddressSurvivesASave() {
        // Line 9 as a Windows editor wrote it, in Windows-1252.
        const QByteArray old = "YES\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nYES\r\n"
                               "B\xfcro\x92s proxy\r\n3128\r\n";
        writeBytes(dir(), kOptionsFileName, old);
        LineBytes bytes;
        OptionTexts o = OptionsFile(dir()).readForDialog(&bytes);
        QCOMPARE(o[AddressLine], QStringLiteral("Büro\u2019s proxy"));
        QCOMPARE(OptionsFile(dir()).write(o, bytes), QString());
        QCOMPARE(readBytes(dir(), kOptionsFileName), old);
        // An edited address is written in the file's own encoding.
        o[AddressLine] = QStringLiteral("Café");
        QCOMPARE(OptionsFile(dir()).write(o, bytes), QString());
        QVERIFY(readBytes(dir(), kOptionsFileName).contains("\r\nCaf\xe9\r\n"));
    }

    void proxyLinesMissingIsAShortFile() {
        writeBytes(dir(), kOptionsFileName,
                   "YES\r\nNO\r\nNO\r\nYES\r\nYES\r\nNO\r\nYES\r\nYES\r\n");
        OptionFlags f;
        const QStringList problems = OptionsFile(dir()).readStartup(f);
        QCOMPARE(problems.size(), 1);
        QVERIFY(problems.first().contains(QStringLiteral("8 of its 10 lines")));
        QVERIFY(!f.proxyPortValid);
        QCOMPARE(f.ProxyAddress, QString());
    }

    void whereTheConfigurationLives_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("besideProgram");
        QTest::addColumn<QString>("xdg");
        QTest::addColumn<QString>("expected");
        QTest::newRow("beside the executable wins") << ""
                                                    << "Proxy.Txt"
                                                    << "/x"
                                                    << "program";
        QTest::newRow("the accounts file alone is enough") << ""
                                                           << "CompUserNames.Txt"
                                                           << "/x"
                                                           << "program";
        QTest::newRow("otherwise XDG_CONFIG_HOME") << ""
                                                   << ""
                                                   << "/x"
                                                   << "/x/courivane";
        QTest::newRow("unset: ~/.config") << ""
                                          << ""
                                          << ""
                                          << "home/.config/courivane";
        QTest::newRow("relative XDG_CONFIG_HOME is ignored") << ""
                                                             << ""
                                                             << "rel"
                                                             << "home/.config/courivane";
        QTest::newRow("--config-dir wins over both") << "/c"
                                                     << "Proxy.Txt"
                                                     << "/x"
                                                     << "/c";
    }
    void whereTheConfigurationLives() {
        QFETCH(QString, option);
        QFETCH(QString, besideProgram);
        QFETCH(QString, xdg);
        QFETCH(QString, expected);
        const QString program = dir().filePath(QStringLiteral("program"));
        QVERIFY(dir().mkdir(QStringLiteral("program")));
        if (!besideProgram.isEmpty())
            writeBytes(QDir(program), besideProgram, "");
        const QString home = dir().filePath(QStringLiteral("home"));
        QString want = expected;
        if (!expected.startsWith(u'/'))
            want = dir().filePath(expected);
        QCOMPARE(configDirectory({option, program, xdg, home}), want);
    }

    void theFirstSaveMakesAPrivateDirectory() {
        const QDir xdg(dir().filePath(QStringLiteral("xdg/courivane")));
        OptionTexts o;
        o[SoundLine] = kYes;
        QCOMPARE(OptionsFile(xdg).write(o), QString());
        QCOMPARE(QFileInfo(xdg.path()).permissions() & 0x7777,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                     QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
        QCOMPARE(QFileInfo(xdg.filePath(kOptionsFileName)).permissions() & 0x7777,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                     QFileDevice::WriteUser);
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
