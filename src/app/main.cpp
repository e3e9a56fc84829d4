// courivane: the monitor.

#include "app/Program.h"
#include "config/ConfigPlace.h"
#include "config/OptionsFile.h"
#include "history/HistoryStore.h"
#include "polling/PassOptions.h"
#include "polling/PollCycle.h"
#include "ui/Assets.h"
#include "ui/Platform.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <variant>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

// What the command line asks of the monitor once it starts.
struct MonitorArguments {
    QString configDir;
    courivane::PassOptions pass;
    int historyDays = courivane::kDefaultHistoryDays;
};

// Reads the command line before any display is opened, so --help, --version and what is wrong
// with an option are said without one (without one, Qt would end the program before anything
// could be said). An exit code where the program ends here.
std::variant<MonitorArguments, int> readCommandLine(int argc, char* argv[]) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Watches the mail services of many companies at once: a strip of eight lamps at the top "
        "of the screen, notices for new failures and a summary window.\n\n"
        "Proxy.Txt and CompUserNames.Txt are read beside the executable when either is there, "
        "otherwise from $XDG_CONFIG_HOME/courivane (by default ~/.config/courivane)."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption configDir = courivane::configDirOption();
    parser.addOption(configDir);
    const courivane::PassCommandLine passLine(false);
    passLine.addTo(parser);
    const QCommandLineOption historyDays(
        QStringLiteral("history-days"),
        QStringLiteral("Days of history kept in History.sqlite beside the configuration, from 0 "
                       "(no history, no file) to 3650 (default: %1).")
            .arg(courivane::kDefaultHistoryDays),
        QStringLiteral("days"), QString::number(courivane::kDefaultHistoryDays));
    parser.addOption(historyDays);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "courivane: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(help)) {
        // Without an application object Qt does not know the program's name.
        std::fputs(qPrintable(parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                        QStringLiteral("courivane"))),
                   stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("Courivane %s\n", COURIVANE_VERSION);
        return 0;
    }
    const auto pass = passLine.read(parser);
    if (const QString* error = std::get_if<QString>(&pass)) {
        std::fprintf(stderr, "courivane: %s\n", qPrintable(*error));
        return 2;
    }
    const std::optional<int> days = courivane::parseWholeNumber(parser.value(historyDays), 0, 3650);
    if (!days) {
        std::fprintf(stderr, "courivane: --history-days takes a whole number from 0 to 3650\n");
        return 2;
    }
    return MonitorArguments{parser.value(configDir), std::get<courivane::PassOptions>(pass), *days};
}

// SIGINT and SIGTERM end the program as "Close Application" does once answered, tray icon
// removed: the handler only writes a byte, and the event loop does the ending.
void endOnSignal(courivane::Program& program) {
    ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe);
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &program);
    QObject::connect(notifier, &QSocketNotifier::activated, &program, [&program] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        program.end();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication::setApplicationName(QStringLiteral("Courivane"));
    QApplication::setApplicationVersion(QStringLiteral(COURIVANE_VERSION));
    const auto read = readCommandLine(argc, argv);
    if (const int* exitCode = std::get_if<int>(&read))
        return *exitCode;
    const MonitorArguments& arguments = std::get<MonitorArguments>(read);

    const courivane::PlatformChoice platform = courivane::choosePlatform(
        qgetenv("QT_QPA_PLATFORM"), qgetenv("WAYLAND_DISPLAY"), qgetenv("DISPLAY"));
    if (!platform.platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform.platform);
    QApplication app(argc, argv);
    // Closing a dialog never ends the program; only "Close Application" or a signal does.
    QApplication::setQuitOnLastWindowClosed(false);
    if (!platform.terminalNote.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(platform.terminalNote));

    courivane::Program program(QDir(courivane::configDirectoryOf(arguments.configDir)),
                               courivane::defaultAssetDirs());
    arguments.pass.applyTo(*program.cycle());
    program.setHistoryDays(arguments.historyDays);
    if (!platform.pageNote.isEmpty())
        program.addStartupNote(platform.pageNote);
    endOnSignal(program);

    program.startUp();
    return app.exec();
}
