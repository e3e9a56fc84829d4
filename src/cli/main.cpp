// courivane-check: one pass without a display, for scripts and monitoring systems.

#include "cli/CheckReport.h"
#include "config/AccountsFile.h"
#include "config/ConfigPlace.h"
#include "config/OptionsFile.h"
#include "history/HistoryStore.h"
#include "polling/PassOptions.h"
#include "polling/SinglePass.h"
#include "report/LampCompanies.h"
#include "report/SummaryPage.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <variant>

using namespace courivane;
using PassRun = SinglePass::Outcome;

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
    "Exit codes: 0 every lamp green; 2 some failure; otherwise 3 unknown: a service whose state "
    "is not known, no account to check, Proxy.Txt or CompUserNames.Txt missing or unreadable, "
    "an unknown company, or no answer within the time-out (the reason goes to stderr); "
    "otherwise 1: a warning, a stale status, or an incomplete account that is not checked.";

constexpr int kDefaultTimeoutSeconds = 60;
constexpr int kMaxTimeoutSeconds = 24 * 60 * 60;
// The first line names so many companies still waiting; the rest follow on the lines after it.
constexpr qsizetype kNamedOnFirstLine = 3;

QStringList companies(const QList<AccountRecord>& records) {
    QStringList names;
    for (const AccountRecord& r : records)
        names << r.CompanyName;
    names.removeDuplicates();
    return names;
}

struct CheckOptions {
    QDir dir;
    bool html = false;
    bool listCompanies = false;
    bool oneCompany = false;
    QString company;
    int timeoutSeconds = kDefaultTimeoutSeconds;
    bool history = false;
    int historyDays = kDefaultHistoryDays;
    PassOptions pass;
};

// A usage error is UNKNOWN to a monitoring engine, not the WARNING of a plain exit code 1.
int usageError(const QString& text) {
    QTextStream(stderr) << "courivane-check: " << printableText(text) << '\n';
    QTextStream(stdout) << "COURIVANE UNKNOWN - " << printableText(text) << '\n';
    return CheckUnknown;
}

// The command line; an exit code when it is not one to run.
std::variant<CheckOptions, int> parseCommandLine() {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption configDir = configDirOption();
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
        QStringLiteral("End by this many seconds (1 to %2, default %1) with UNKNOWN and the "
                       "accounts not yet answered; each fetch is bounded by 30 s as well.")
            .arg(kDefaultTimeoutSeconds)
            .arg(kMaxTimeoutSeconds),
        QStringLiteral("SECONDS"), QString::number(kDefaultTimeoutSeconds));
    const QCommandLineOption history(
        QStringLiteral("history"),
        QStringLiteral("Print the outages the monitor recorded in History.sqlite as CSV (company, "
                       "service, start, end, duration in seconds, reason; times in UTC), with "
                       "--company only that company's, and poll nothing. The file is only read."));
    const QCommandLineOption days(QStringLiteral("days"),
                                  QStringLiteral("With --history: the outages of the last N days "
                                                 "(1 to 3650, default %1).")
                                      .arg(kDefaultHistoryDays),
                                  QStringLiteral("N"), QString::number(kDefaultHistoryDays));
    parser.addOptions({configDir, html, company, listCompanies, timeout, history, days});
    const PassCommandLine passLine;
    passLine.addTo(parser);
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();

    CheckOptions options;
    options.dir = QDir(configDirectoryOf(parser.value(configDir)));
    options.html = parser.isSet(html);
    options.listCompanies = parser.isSet(listCompanies);
    options.oneCompany = parser.isSet(company);
    options.company = parser.value(company);
    const auto seconds = parseWholeNumber(parser.value(timeout), 1, kMaxTimeoutSeconds);
    if (!seconds)
        return usageError(QStringLiteral("--timeout takes a whole number of seconds from 1 to %1")
                              .arg(kMaxTimeoutSeconds));
    options.timeoutSeconds = *seconds;
    options.history = parser.isSet(history);
    const auto historyDays = parseWholeNumber(parser.value(days), 1, 3650);
    if (!historyDays)
        return usageError(QStringLiteral("--days takes a whole number from 1 to 3650"));
    options.historyDays = *historyDays;
    const auto pass = passLine.read(parser);
    if (const QString* error = std::get_if<QString>(&pass))
        return usageError(*error);
    options.pass = std::get<PassOptions>(pass);
    return options;
}

PassRun runPass(const CheckOptions& options, const PassConfiguration& configuration,
                AccountsRead accounts, const QElapsedTimer& sinceStart) {
    SinglePass pass(options.dir, configuration, options.oneCompany ? options.company : QString(),
                    options.pass);
    PassRun run;
    // A monitoring engine waits for no plug-in forever: the check ends by the limit, counted
    // from the start, for reading a long list of accounts takes time too.
    const qint64 left = std::max<qint64>(options.timeoutSeconds * 1000LL - sinceStart.elapsed(), 0);
    pass.start(std::move(accounts), int(left), StatusFetch::kFetchTimeoutMs,
               [&](const SinglePass::Outcome& outcome) {
                   run = outcome;
                   QCoreApplication::quit();
               });
    QCoreApplication::exec();
    return run;
}

// The time ran out: the first line stays short, every account still waiting follows it.
int reportUnfinished(const CheckOptions& options, const QList<AccountRecord>& unfinished) {
    QStringList waiting;
    for (const AccountRecord& a : unfinished)
        waiting << printableText(a.CompanyName + QStringLiteral(" (") + a.MonitoringServer + u')');
    waiting.removeDuplicates();
    QString reason = QStringLiteral("no answer within %1 s from ").arg(options.timeoutSeconds) +
                     namesList(waiting, kNamedOnFirstLine);
    if (options.oneCompany)
        reason = printableText(options.company) + QStringLiteral(": ") + reason;
    QTextStream out(stdout);
    if (options.html) {
        // stdout carries nothing but HTML; the reason goes to the terminal as well.
        QTextStream(stderr) << "courivane-check: " << reason << '\n';
        out << SummaryPage::withProblems({reason}, QString());
        return CheckUnknown;
    }
    out << "COURIVANE UNKNOWN - " << reason << '\n';
    if (waiting.size() > kNamedOnFirstLine)
        for (const QString& name : waiting)
            out << name << '\n';
    return CheckUnknown;
}

// --history: the recorded outages, and no pass.
int printHistory(const CheckOptions& options) {
    const HistoryStore store(options.dir.filePath(kHistoryFileName), kDefaultHistoryDays,
                             HistoryStore::Mode::ReadOnly);
    if (!store.isOn()) {
        QTextStream(stderr) << "courivane-check: " << printableText(store.problem()) << '\n';
        return CheckUnknown;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QTextStream(stdout) << outagesCsv(
        store.outages(options.oneCompany ? options.company : QString(),
                      now.addDays(-options.historyDays)),
        now);
    return CheckOk;
}

int reportUnusable(const CheckOptions& options, const PassConfiguration& configuration,
                   const AccountsRead& accounts) {
    const QStringList problems = configuration.problems(accounts);
    QTextStream err(stderr);
    for (const QString& problem : problems)
        err << printableText(problem) << '\n';
    QTextStream out(stdout);
    // With --html, stdout carries nothing but HTML: the problems as the monitor shows them.
    if (options.html)
        out << SummaryPage::withProblems(problems, QString());
    else
        out << "COURIVANE UNKNOWN - configuration in " << printableText(options.dir.absolutePath())
            << " is missing or unreadable\n";
    return CheckUnknown;
}

int reportNoSuchCompany(const CheckOptions& options, const QStringList& names) {
    // Characters that do not show are named, so that the difference can be seen.
    QTextStream err(stderr);
    err << "courivane-check: no company named \"" << visibleName(options.company) << "\" in "
        << printableText(AccountsFile(options.dir).path()) << "; the companies are:\n";
    for (const QString& name : names)
        err << "  " << visibleName(name) << '\n';
    QTextStream(stdout) << "COURIVANE UNKNOWN - " << printableText(options.company)
                        << ": no such company\n";
    return CheckUnknown;
}

int reportPass(const CheckOptions& options, const PassResult& result) {
    QTextStream out(stdout);
    // The pass itself has told stderr of any problem with the files.
    if (options.html)
        out << pageOf(result).html();
    else
        out << (options.oneCompany ? checkCompanyLine(options.company, result)
                                   : checkStatusLine(result))
            << '\n'
            << checkTable(result);
    return checkStatusOf(result);
}

} // namespace

int main(int argc, char* argv[]) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    useQtDispatcher();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("courivane-check"));
    QCoreApplication::setApplicationVersion(QStringLiteral(COURIVANE_VERSION));

    const auto parsed = parseCommandLine();
    if (const int* code = std::get_if<int>(&parsed))
        return *code;
    CheckOptions options = std::get<CheckOptions>(parsed);
    if (options.history)
        return printHistory(options);

    AccountsRead accounts = AccountsFile(options.dir).read();
    const PassConfiguration configuration = readPassConfiguration(options.dir, accounts);
    const QStringList names = companies(accounts.records);
    if (options.listCompanies && accounts.usable) {
        // Each line names its company again to --company, whatever characters it needs.
        QTextStream out(stdout);
        for (const QString& name : names)
            out << listedCompanyName(name) << '\n';
        return CheckOk;
    }
    if (!configuration.usable)
        return reportUnusable(options, configuration, accounts);
    if (options.oneCompany) {
        const std::optional<QString> company = findCompany(options.company, names);
        if (!company)
            return reportNoSuchCompany(options, names);
        options.company = *company;
    }
    accounts.raw.clear(); // only a save keeps the file's bytes
    const PassRun run = runPass(options, configuration, std::move(accounts), sinceStart);
    return run.result ? reportPass(options, *run.result)
                      : reportUnfinished(options, run.unfinished);
}
