// courivane-check: one pass without a display, for scripts and monitoring systems.

#include "config/AccountsFile.h"
#include "config/OptionsFile.h"
#include "polling/PollCycle.h"
#include "report/CheckReport.h"
#include "report/SummaryPage.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

using namespace courivane;

namespace {

const char kDescription[] =
    "Polls every account of the monitor's configuration once, as the monitor does at start-up, "
    "and prints the result.\n\n"
    "The first line follows the monitoring plug-in convention:\n"
    "  COURIVANE OK|WARNING|CRITICAL|UNKNOWN - <summary> | <performance data>\n"
    "with the failure counters icmp, web, pop3, smtp, receive, send and connection and the "
    "number of accounts as performance data. A plain-text table of the rows follows.\n\n"
    "Exit codes: 0 every lamp green, 1 some lamp orange and none red, 2 some lamp red, "
    "3 Proxy.Txt or CompUserNames.Txt missing or unreadable (the reason goes to stderr).";

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("courivane-check"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.addHelpOption();
    const QCommandLineOption configDir(
        QStringLiteral("config-dir"),
        QStringLiteral("Directory holding Proxy.Txt and CompUserNames.Txt (default: the "
                       "directory of this program)."),
        QStringLiteral("DIR"));
    const QCommandLineOption html(QStringLiteral("html"),
                                  QStringLiteral("Print exactly the summary page the monitor "
                                                 "would show after the pass, and nothing else."));
    parser.addOption(configDir);
    parser.addOption(html);
    parser.process(app);

    const QDir dir(parser.isSet(configDir) ? parser.value(configDir)
                                           : QCoreApplication::applicationDirPath());
    QTextStream out(stdout);
    QTextStream err(stderr);

    OptionFlags flags;
    bool optionsUsable = false;
    const QStringList optionProblems = OptionsFile(dir).readStartup(flags, &optionsUsable);
    const AccountsRead accounts = AccountsFile(dir).read();
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

    PollCycle cycle(dir, flags);
    PassResult result;
    QObject::connect(&cycle, &PollCycle::passFinished, &app, [&](const PassResult& r) {
        result = r;
        app.quit();
    });
    // The start-up pass (split unless the options say exactly "NO"), once the loop runs.
    QTimer::singleShot(0, &cycle, [&] {
        cycle.runStartupPass(flags.SplitIcmpWeb == kNo ? 0 : 1, optionProblems);
    });
    app.exec();
    cycle.Timer13->stop();

    // The pass itself has told stderr of any problem with the files.
    if (parser.isSet(html)) {
        out << result.page;
    } else {
        out << checkStatusLine(result) << '\n' << checkTable(result);
    }
    return checkStatusOf(result);
}
