#include "FakeMonitorServer.h"
#include "TestFiles.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <sys/prctl.h>

#include <csignal>

using namespace courivane::testing;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QByteArray status(const char* fields) {
    return FakeMonitorServer::httpReply(
        FakeMonitorServer::combinedStatus(fields, FakeMonitorServer::now()));
}

const QByteArray kQuiet = "icmp=0 web=0 pop3=0 smtp=0 receive=0 send=0";
const QByteArray kFresh = " stale=0 unknown=0";
const char* const kAll = "fine warn fail ryl missing fine";

// The accounts (users of "Company <user>"), the options given, the exit code and first line.
// clang-format off
const std::tuple<const char*, const char*, const char*, int, QByteArray> kChecks[] = {
    {"all green", "fine fine", "", 0,
     "OK - 2 accounts, all services OK | " + kQuiet + " connection=0 accounts=2" + kFresh},
    {"orange", "fine warn", "", 1,
     "WARNING - 2 accounts, 1 warning | " + kQuiet + " connection=0 accounts=2" + kFresh},
    {"red", "fail warn missing", "", 2,
     "CRITICAL - 3 accounts, failed: SMTP 1, Connection 1, 1 warning | icmp=0 web=0 pop3=0 smtp=1 "
     "receive=0 send=0 connection=1 accounts=3" + kFresh},
    {"Ryl alone is red", "ryl", "", 2,
     "CRITICAL - 1 account, failed: Ryl | " + kQuiet + " connection=0 accounts=1" + kFresh},
    {"no accounts is nothing known", "", "", 3,
     "UNKNOWN - 0 accounts, nothing to check | " + kQuiet + " connection=0 accounts=0" + kFresh},
    {"unknown outranks a warning", "warn unknown", "", 3,
     "UNKNOWN - 2 accounts, 3 warnings, unknown: Company unknown (ICMP/SMTP) | " + kQuiet +
     " connection=0 accounts=2 stale=0 unknown=1"},
    {"stale is a warning", "fine old", "", 1,
     "WARNING - 2 accounts, 1 warning, stale: Company old | " + kQuiet + " connection=0 accounts=2 stale=1 "
     "unknown=0"},
    {"a failure outranks unknown", "unknown fail", "", 2,
     "CRITICAL - 2 accounts, failed: SMTP 1, 2 warnings, unknown: Company unknown (ICMP/SMTP) | "
     "icmp=0 web=0 "
     "pop3=0 smtp=1 receive=0 send=0 connection=0 accounts=2 stale=0 unknown=1"},
    {"one company failed", kAll, "Company fail", 2,
     "CRITICAL - Company fail: SMTP failed | icmp=0 web=0 pop3=0 smtp=1 receive=0 send=0 ryl=0 "
     "connection=0" + kFresh},
    {"one company of two accounts", kAll, "Company fine", 0,
     "OK - Company fine: all services OK | " + kQuiet + " ryl=0 connection=0" + kFresh},
    {"one company, Ryl", kAll, "Company ryl", 2,
     "CRITICAL - Company ryl: Ryl failed | " + kQuiet + " ryl=1 connection=0" + kFresh},
    {"one company unreachable", kAll, "Company missing", 2,
     "CRITICAL - Company missing: connection failed (HTTP 404 Not Found) | " + kQuiet +
     " ryl=0 connection=1" + kFresh},
    {"one company, stale", "unknown old", "Company old", 1,
     "WARNING - Company old: status stale | " + kQuiet + " ryl=0 connection=0 stale=1 unknown=0"},
    // A last account of two lines ("~") is configured but cannot be checked.
    {"an incomplete account is no all well", "fine fine~", "", 1,
     "WARNING - 1 account, the account at line 4 of CompUserNames.Txt is incomplete and not "
     "checked | " + kQuiet + " connection=0 accounts=1" + kFresh},
    {"one company with an incomplete account", "fine fine~", "Company fine", 1,
     "WARNING - Company fine: the account at line 4 of CompUserNames.Txt is incomplete and not "
     "checked | " + kQuiet + " ryl=0 connection=0" + kFresh},
    {"another company's incomplete account", "fine warn~", "Company fine", 0,
     "OK - Company fine: all services OK | " + kQuiet + " ryl=0 connection=0" + kFresh},
    {"one company, unknown", "unknown old", "Company unknown", 3,
     "UNKNOWN - Company unknown: ICMP unknown, SMTP unknown | " + kQuiet +
     " ryl=0 connection=0 stale=0 unknown=1"},
};
// clang-format on

// The file removed, whether a directory stands in its place, and whether HTML was asked for.
const std::tuple<const char*, const char*, bool, bool> kUnknown[] = {
    {"no options", "Proxy.Txt", false, false},
    {"no accounts", "CompUserNames.Txt", false, false},
    {"options is a directory", "Proxy.Txt", true, false},
    {"no accounts, HTML", "CompUserNames.Txt", false, true},
};

} // namespace

// Runs the real courivane-check binary against the fake server.
class TestCheck : public QObject {
    Q_OBJECT
private:
    FakeMonitorServer m_server;
    std::unique_ptr<QTemporaryDir> m_tmp;
    QDir dir() const { return QDir(m_tmp->path()); }

    Run check(const QStringList& extra = {}, int waitMs = 20000) {
        QProcess process;
        // A check that never ends goes with the test, however the test ends.
        process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        // The event loop keeps the fake server answering while the check runs.
        process.start(qEnvironmentVariable("COURIVANE_BIN") + QStringLiteral("/courivane-check"),
                      QStringList{QStringLiteral("--config-dir"), m_tmp->path()} + extra);
        QSignalSpy finished(&process, &QProcess::finished);
        if (!process.waitForStarted() || !finished.wait(waitMs)) {
            process.kill();
            process.waitForFinished();
            qFatal("courivane-check did not run to its end");
        }
        return {process.exitCode(), process.readAllStandardOutput(),
                process.readAllStandardError()};
    }

    // Accounts of the users named, blank-separated, a last one ending in "~" without its user
    // line; returns how many are complete.
    qsizetype accounts(const QByteArray& users) {
        const QList<QByteArray> names = users.isEmpty() ? QList<QByteArray>() : users.split(' ');
        QByteArray text;
        for (const QByteArray& user : names)
            text += "Company " + QByteArray(user).replace('~', "") + "\r\n" +
                    m_server.address().toUtf8() + "\r\n" +
                    (user.endsWith('~') ? "" : user + "\r\n");
        writeBytes(dir(), QStringLiteral("CompUserNames.Txt"), text);
        return names.size() - (users.endsWith('~') ? 1 : 0);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_server.listen());
        // ICMP, POP3, Receive, SMTP, Ryl, Send.
        m_server.setReply(QStringLiteral("/status/fineStatus.txt"), status("111111"));
        m_server.setReply(QStringLiteral("/status/warnStatus.txt"), status("114111"));
        m_server.setReply(QStringLiteral("/status/failStatus.txt"), status("111011"));
        m_server.setReply(QStringLiteral("/status/rylStatus.txt"), status("111101"));
        // ICMP and SMTP not known; a status not updated since a day before.
        m_server.setReply(QStringLiteral("/status/unknownStatus.txt"), status("311311"));
        m_server.setReply(QStringLiteral("/status/oldStatus.txt"),
                          FakeMonitorServer::httpReply(FakeMonitorServer::combinedStatus(
                              "111111", QDateTime::currentDateTimeUtc()
                                            .addDays(-1)
                                            .toString("yyyy-MM-dd HH:mm:ss")
                                            .toLatin1())));
        m_server.setScript(QStringLiteral("/status/silentStatus.txt"),
                           {{}, 0, 0, Script::End::KeepOpen});
    }
    void init() {
        m_server.clearRequests();
        m_tmp = std::make_unique<QTemporaryDir>();
        // Combined layout (line 4 "NO"), grouped.
        writeBytes(dir(), QStringLiteral("Proxy.Txt"),
                   "NO\r\nNO\r\nNO\r\nNO\r\nYES\r\nNO\r\nYES\r\nNO\r\n\r\n\r\n");
    }

    void checks_data() { addRows(kChecks); }
    void checks() {
        const auto& [name, users, company, code, firstLine] = currentRow(kChecks);
        const qsizetype count = accounts(users);
        const Run run = check(*company ? QStringList{"--company", company} : QStringList());
        QCOMPARE(run.exitCode, code);
        const QList<QByteArray> lines = run.out.split('\n');
        QCOMPARE(lines.first(), "COURIVANE " + firstLine);
        // The table, a head and a line per account; only that company's accounts asked for.
        if (!*company)
            QCOMPARE(lines.size(), 1 + 1 + count + 1);
        for (const QByteArray& request : m_server.requestLines())
            QVERIFY2(!*company || request.contains(QByteArray(company).mid(8) + "Status.txt"),
                     request);
    }

    void htmlIsThePageAlone() {
        accounts("fine");
        const Run run = check({QStringLiteral("--html")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(
            run.out.startsWith("<p><b><font face=Tahoma>1 OK Service!</font></b></p><body>") &&
                run.out.endsWith("/logs/fine/index.html target=_blank>Log</a></td></tr></table>"),
            run.out.constData());
    }

    void missingConfigurationIsUnknown_data() { addRows(kUnknown); }
    void missingConfigurationIsUnknown() {
        const auto& [name, remove, directory, html] = currentRow(kUnknown);
        accounts("fine");
        QVERIFY(dir().remove(remove));
        if (directory)
            QVERIFY(dir().mkdir(remove));
        const Run run = check(html ? QStringList{QStringLiteral("--html")} : QStringList());
        QCOMPARE(run.exitCode, 3);
        QVERIFY(
            run.err.contains(remove + QByteArray(directory ? " cannot be read" : " not found")));
        // With --html, nothing but HTML: the problem in the monitor's red style.
        QVERIFY2(html ? run.out.startsWith("<p><font face=Tahoma color=#cc0000>" +
                                           dir().filePath(remove).toUtf8() + " not found") &&
                            run.out.endsWith("</font></p>")
                      : run.out.startsWith("COURIVANE UNKNOWN"),
                 run.out.constData());
    }

    void unknownCompanyTheListAndUsage() {
        accounts("fine warn fine");
        const Run unknown = check({QStringLiteral("--company"), QStringLiteral("Company nobody")});
        QCOMPARE(unknown.exitCode, 3);
        QVERIFY(unknown.out.startsWith("COURIVANE UNKNOWN - Company nobody: no such company"));
        QVERIFY(unknown.err.contains("  Company fine\n  Company warn\n"));
        const Run list = check({QStringLiteral("--list-companies")});
        QCOMPARE(list.exitCode, 0);
        QCOMPARE(list.out, QByteArray("Company fine\nCompany warn\n"));
        const Run version = check({QStringLiteral("--version")});
        QCOMPARE(version.exitCode, 0);
        QVERIFY(version.out.startsWith("courivane-check " COURIVANE_VERSION));
        const Run bad = check({QStringLiteral("--no-such-option")});
        QCOMPARE(bad.exitCode, 3);
        QVERIFY(bad.out.startsWith("COURIVANE UNKNOWN"));
    }

    void everyListedNameNamesItsCompany() {
        // U+200C (Persian needs it), U+00AD, and a bell, which the list may not send to a terminal.
        const QStringList names = {QStringLiteral("Par\u200Csi"), QStringLiteral("Soft\u00ADware"),
                                   QStringLiteral("Bell\u0007")};
        QByteArray text;
        for (const QString& name : names)
            text += name.toUtf8() + "\r\n" + m_server.address().toUtf8() + "\r\nfine\r\n";
        writeBytes(dir(), QStringLiteral("CompUserNames.Txt"), text);
        const Run list = check({QStringLiteral("--list-companies")});
        QCOMPARE(QString::fromUtf8(list.out),
                 QStringLiteral("Par\u200Csi\nSoft\u00ADware\nBell\uFFFD\n"));
        for (const QString& listed : QString::fromUtf8(list.out).split(u'\n', Qt::SkipEmptyParts))
            QCOMPARE(check({QStringLiteral("--company"), listed}).exitCode, 0);
        // What differs from a name typed without the character is shown.
        const Run typed = check({QStringLiteral("--company"), QStringLiteral("Parsi")});
        QCOMPARE(typed.exitCode, 3);
        QVERIFY2(typed.err.contains("  Par<U+200C>si\n  Soft<U+00AD>ware\n  Bell<U+0007>\n"),
                 typed.err.constData());
    }

    void theMonitorSaysWhatIsWrongWithoutADisplay() {
        QProcess monitor;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        monitor.setProcessEnvironment(environment);
        monitor.start(qEnvironmentVariable("COURIVANE_BIN") + QStringLiteral("/courivane"),
                      {QStringLiteral("--parallel"), QStringLiteral("0")});
        QVERIFY(monitor.waitForFinished(10000));
        QCOMPARE(monitor.exitStatus(), QProcess::NormalExit);
        QCOMPARE(monitor.exitCode(), 2);
        QVERIFY(monitor.readAllStandardError().startsWith("courivane: --parallel"));
    }

    void httpsWithTrustedCertificatesAndAPasswordFile() {
        FakeMonitorServer tls;
        tls.useTls(QStringLiteral("localhost.pem"));
        QVERIFY(tls.listen());
        tls.setReply(QStringLiteral("/status/fineStatus.txt"), status("111111"));
        tls.requireCredentials("fine:pa55word");
        const QString server = "https://" + tls.address();
        writeBytes(dir(), QStringLiteral("CompUserNames.Txt"),
                   "Company fine\r\n" + server.toUtf8() + "\r\nfine\r\n");
        const QStringList one = {QStringLiteral("--company"), QStringLiteral("Company fine")};
        QVERIFY(check(one).out.contains("connection failed (certificate not trusted)"));
        writeBytes(dir(), QStringLiteral("Certificates.pem"), tlsFile(QStringLiteral("ca.pem")));
        QVERIFY(check(one).out.contains("connection failed (authentication required)"));
        // The password file is read only when no one else may read it.
        const QString passwords = dir().filePath(QStringLiteral("passwords"));
        writeBytes(dir(), QStringLiteral("passwords"), server.toUtf8() + "\tfine\tpa55word\n");
        QFile::setPermissions(passwords, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        const Run open = check(one + QStringList{QStringLiteral("--password-file"), passwords});
        QCOMPARE(open.exitCode, 3);
        QVERIFY(open.out.contains("chmod 600") && !open.out.contains("pa55word"));
        QFile::setPermissions(passwords, QFile::ReadOwner | QFile::WriteOwner);
        const Run read = check(one + QStringList{QStringLiteral("--password-file"), passwords});
        QCOMPARE(read.exitCode, 0);
        QVERIFY(!read.out.contains("pa55word") && !read.err.contains("pa55word"));
        QCOMPARE(tls.requests().size(), 3); // no credentials, no password stored, then with it
    }

    void theTimeOutEndsTheCheck_data() {
        QTest::addColumn<QString>("users");
        QTest::addColumn<QString>("parallel");
        QTest::addColumn<QString>("waiting");
        QTest::addColumn<int>("moreLines");
        // One at a time, the account after the silent one is never reached ("@" is the server).
        QTest::newRow("one at a time") << "fine silent fine"
                                       << "1"
                                       << "Company silent@, Company fine@" << 0;
        // At once, only the silent ones and the one kept back by the four to that server wait;
        // the first line names three of them.
        QTest::newRow("at once") << "silent fine silent2 silent3 silent4 fine"
                                 << "8"
                                 << "Company silent@, Company silent2@, Company silent3@ and 2 more"
                                 << 5;
    }
    void theTimeOutEndsTheCheck() {
        QFETCH(QString, users);
        QFETCH(QString, parallel);
        QFETCH(QString, waiting);
        QFETCH(int, moreLines);
        for (const char* silent : {"silent2", "silent3", "silent4"})
            m_server.setScript(QStringLiteral("/status/%1Status.txt").arg(silent),
                               {{}, 0, 0, Script::End::KeepOpen});
        accounts(users.toUtf8());
        // The server never answers "silent"; the 30 s per fetch would outlast the engine.
        const Run run = check({"-t", "1", "--parallel", parallel}, 10000);
        QCOMPARE(run.exitCode, 3);
        const QString server = QStringLiteral(" (%1)").arg(m_server.address());
        const QString named = QString(waiting).replace(u'@', server);
        const QList<QByteArray> lines = run.out.split('\n');
        QCOMPARE(QString(lines.first()), "COURIVANE UNKNOWN - no answer within 1 s from " + named);
        QCOMPARE(lines.size() - 2, moreLines);
        if (moreLines)
            QCOMPARE(QString(lines.at(1)), "Company silent" + server);
        // With --html, stdout holds the page alone; the reason goes to stderr.
        const Run html = check({"-t", "1", "--parallel", parallel, "--html"}, 10000);
        QVERIFY2(html.out.startsWith("<p><font face=Tahoma color=#cc0000>no answer within 1 s") &&
                     html.err.contains("no answer within 1 s"),
                 html.out.constData());
    }

    void serverBytesNeverReachTheTerminal() {
        m_server.setReply(QStringLiteral("/status/evilStatus.txt"),
                          FakeMonitorServer::httpReply(FakeMonitorServer::combinedStatus(
                              "111111", "\x1b[2J\x1b[31m\r\n\x07<b>&amp;x")));
        writeBytes(dir(), QStringLiteral("CompUserNames.Txt"),
                   "Evil\x1b]0;title\x07 Co\r\n" + m_server.address().toUtf8() + "\r\nevil\r\n");
        const Run run = check();
        QCOMPARE(run.exitCode, 1); // a time that does not read is stale
        QVERIFY2(!run.out.contains('\x1b') && !run.out.contains('\x07') && !run.out.contains('\r'),
                 run.out.constData());
        const QList<QByteArray> lines = run.out.split('\n');
        QCOMPARE(lines.size(), 4); // status line, head, one row, nothing after the last line end
        QVERIFY2(lines.at(2).startsWith("Evil\xef\xbf\xbd]0;title\xef\xbf\xbd Co") &&
                     lines.at(2).contains("invalid time") && !lines.at(2).contains("&amp;"),
                 lines.at(2).constData());
        // Nor the page: no control character, no reversal of the text by U+202E.
        writeBytes(dir(), QStringLiteral("CompUserNames.Txt"),
                   "Evil\xe2\x80\xae Co\r\n" + m_server.address().toUtf8() + "\r\nevil\r\n");
        const Run html = check({"--html"});
        QVERIFY2(!html.out.contains('\x1b') && !html.out.contains('\x07') &&
                     !html.out.contains("\xe2\x80\xae") && html.out.contains("Evil\xef\xbf\xbd Co"),
                 html.out.constData());
    }
};

QTEST_GUILESS_MAIN(TestCheck)
#include "tst_check.moc"
