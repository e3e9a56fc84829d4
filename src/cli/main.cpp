// courivane-check: one pass without a display, for scripts and monitoring systems.

#include "cli/CheckReport.h"
#include "config/AccountsFile.h"
#include "config/ConfigPlace.h"
#include "config/OptionsFile.h"
#include "polling/PollCycle.h"
#include "report/SummaryPage.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

using namespace courivane;

namespace {

const char kDescription[] =
    "Polls the accounts of the monitor's configuration once, as the monitor does at start-up, "
    "and prints the result.\n\n"
    "The first line follows the monitoring plug-in convention:\n"
    "  COURIVANE OK|WARNING|CRITICAL|UNKNOWN - <summary> | <performance data>\n"
    "For the whole list the performance data are the failure counters icmp, web, pop3, smtp, "
    "receive, send and connection and the number of accounts; with --company, a counter a "
    "service (icmp, web, pop3, smtp, receive, send, ryl, connection): the company's accounts on "
    "which it failed. A plain-text table of the rows follows.\n\n"
    "Exit codes: 0 every lamp green, 1 some lamp orange and none red, 2 some lamp red, "
    "3 unknown: Proxy.Txt or CompUserNames.Txt missing or unreadable, an unknown company, or "
    "no answer within the time-out (the reason goes to stderr).";

constexpr int kDefaultTimeoutSeconds = 60;

QStringList companies(const QList<AccountRecord>& records) {
    QStringList names;
    for (const AccountRecord& r : records)
        names << r.CompanyName;
    names.removeDuplicates();
    return names;
}

} // namespace

int main(int argc, char* argv[]) {
    // Headless, and nothing here needs glib's main loop; Qt's own dispatcher does not wake itself
    // each time a socket notifier comes or goes, which saves a third of a fetch's system calls.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("courivane-check"));
    QCoreApplication::setApplicationVersion(QStringLiteral(COURIVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption configDir(
        QStringLiteral("config-dir"),
        QStringLiteral("Directory holding Proxy.Txt and CompUserNames.Txt (default: the "
                       "directory of this program when either file is there, otherwise "
                       "$XDG_CONFIG_HOME/courivane)."),
        QStringLiteral("DIR"));
    const QCommandLineOption html(QStringLiteral("html"),
                                  QStringLiteral("Print exactly the summary page the monitor "
                                                 "would show after the pass, and nothing else."));
    const QCommandLineOption company(
        QStringLiteral("company"),
        QStringLiteral("Check only the accounts of this company (its exact name in "
                       "CompUserNames.Txt)."),
        QStringLiteral("NAME"));
    const QCommandLineOption listCompanies(
        QStringLiteral("list-companies"),
        QStringLiteral("Print the company names, one a line, and nothing else."));
    const QCommandLineOption timeout(
        {QStringLiteral("t"), QStringLiteral("timeout")},
        QStringLiteral("End by this many seconds with UNKNOWN and the accounts not yet answered "
                       "(default %1; each fetch is bounded by 30 s as well).")
            .arg(kDefaultTimeoutSeconds),
        QStringLiteral("SECONDS"), QString::number(kDefaultTimeoutSeconds));
    parser.addOptions({configDir, html, company, listCompanies, timeout});
    QTextStream out(stdout);
    QTextStream err(stderr);
    // A usage error is UNKNOWN to a monitoring engine, not the WARNING of a plain exit code 1.
    if (!parser.parse(QCoreApplication::arguments())) {
        err << "courivane-check: " << parser.errorText() << '\n';
        out << "COURIVANE UNKNOWN - " << printableText(parser.errorText()) << '\n';
        return CheckUnknown;
    }
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();

    const QDir dir(configDirectoryOf(parser.value(configDir)));
    bool timeoutOk = false;
    const int timeoutSeconds = parser.value(timeout).toInt(&timeoutOk);
    if (!timeoutOk || timeoutSeconds < 1) {
        err << "courivane-check: --timeout takes a whole number of seconds from 1\n";
        out << "COURIVANE UNKNOWN - bad --timeout\n";
        return CheckUnknown;
    }

    OptionFlags flags;
    bool optionsUsable = false;
    const QStringList optionProblems = OptionsFile(dir).readStartup(flags, &optionsUsable);
    const AccountsRead accounts = AccountsFile(dir).read();
    if (parser.isSet(listCompanies) && accounts.usable) {
        for (const QString& name : companies(accounts.records))
            out << printableText(name) << '\n';
        return CheckOk;
    }
    if (!optionsUsable || !accounts.usable) {
        const QStringList problems = optionProblems + accounts.problems;
        for (const QString& problem : problems)
            err << printableText(problem) << '\n';
        // With --html, stdout carries nothing but HTML: the problems as the monitor shows them.
        if (parser.isSet(html))
            out << SummaryPage::withProblems(problems, QString());
        else
            out << "COURIVANE UNKNOWN - configuration in " << printableText(dir.absolutePath())
                << " is missing or unreadable\n";
        return CheckUnknown;
    }

    const QString only = parser.value(company);
    QList<AccountRecord> polled = accounts.records;
    if (parser.isSet(company)) {
        polled.removeIf([&](const AccountRecord& a) { return a.CompanyName != only; });
        if (polled.isEmpty()) {
            err << "courivane-check: no company named \"" << printableText(only) << "\" in "
                << printableText(AccountsFile(dir).path()) << "; the companies are:\n";
            for (const QString& name : companies(accounts.records))
                err << "  " << printableText(name) << '\n';
            out << "COURIVANE UNKNOWN - " << printableText(only) << ": no such company\n";
            return CheckUnknown;
        }
    }

    PollCycle cycle(dir, flags);
    cycle.setCompanyFilter(only);
    PassResult result;
    bool finished = false;
    QObject::connect(&cycle, &PollCycle::passFinished, &app, [&](const PassResult& r) {
        result = r;
        finished = true;
        app.quit();
    });
    // The start-up pass (split unless the options say exactly "NO"), once the loop runs.
    QTimer::singleShot(0, &cycle, [&] {
        cycle.runStartupPass(flags.SplitIcmpWeb == kNo ? 0 : 1, optionProblems, accounts);
    });
    // A monitoring engine waits for no plug-in forever: the check ends by the limit.
    QTimer::singleShot(timeoutSeconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    cycle.Timer13->stop();

    if (!finished) {
        QStringList waiting;
        for (qsizetype i = cycle.state().rows.size(); i < polled.size(); ++i)
            waiting << printableText(polled.at(i).CompanyName + QStringLiteral(" (") +
                                     polled.at(i).MonitoringServer + u')');
        waiting.removeDuplicates();
        out << "COURIVANE UNKNOWN - " << (parser.isSet(company) ? printableText(only) + ": " : "")
            << "no answer within " << timeoutSeconds << " s from " << waiting.join(", ") << '\n';
        return CheckUnknown;
    }

    // The pass itself has told stderr of any problem with the files.
    if (parser.isSet(html))
        out << SummaryPage::ofPass(result.rows, result.splitFlag, flags.StatusSummary,
                                   flags.ShowErrorsOnly, result.problems);
    else
        out << (parser.isSet(company) ? checkCompanyLine(only, result) : checkStatusLine(result))
            << '\n'
            << checkTable(result);
    return checkStatusOf(result);
}
