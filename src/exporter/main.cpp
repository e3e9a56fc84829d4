// courivane-exporter: the monitor's checks for Prometheus, one company a probe, fetched only
// when the scraper asks.

#include "config/ConfigPlace.h"
#include "exporter/ProbeServer.h"
#include "report/Reply.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <csignal>

using namespace courivane;

namespace {

const char kDescription[] =
    "Serves the monitor's checks to Prometheus, following the multi-target pattern:\n"
    "  /probe?target=COMPANY  fetches that company's accounts now and answers with\n"
    "                         courivane_probe_success, courivane_service_status{service,state},\n"
    "                         courivane_status_age_seconds and courivane_fetch_duration_seconds;\n"
    "  /metrics               the exporter's own counters.\n"
    "A probe ends half a second before the scrape time-out Prometheus sends, and each fetch by "
    "30 s. courivane-check --list-companies prints the targets.";

const QString kDefaultListen = QStringLiteral("127.0.0.1:9810");

int usageError(const QString& text) {
    QTextStream(stderr) << "courivane-exporter: " << printableText(text) << '\n';
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    useQtDispatcher();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("courivane-exporter"));
    QCoreApplication::setApplicationVersion(QStringLiteral(COURIVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption listen(
        QStringLiteral("listen"),
        QStringLiteral("Address and port to serve on (default %1; [::1]:PORT for IPv6, port 0 "
                       "for any free one).")
            .arg(kDefaultListen),
        QStringLiteral("HOST:PORT"), kDefaultListen);
    const QCommandLineOption configDir = configDirOption();
    parser.addOptions({listen, configDir});
    const PassCommandLine passLine;
    passLine.addTo(parser);
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("takes no arguments, only options"));
    const std::optional<ListenAddress> address = parseListenAddress(parser.value(listen));
    if (!address)
        return usageError(QStringLiteral("--listen takes HOST:PORT with an IP address or "
                                         "localhost, or [IPv6]:PORT"));
    const auto pass = passLine.read(parser);
    if (const QString* error = std::get_if<QString>(&pass))
        return usageError(*error);

    // A scraper that hangs up mid-answer is no reason to end.
    std::signal(SIGPIPE, SIG_IGN);
    ProbeServer server(QDir(configDirectoryOf(parser.value(configDir))),
                       std::get<PassOptions>(pass));
    const QString failure = server.listen(address->host, address->port);
    QTextStream err(stderr);
    if (!failure.isEmpty()) {
        err << "courivane-exporter: cannot listen on " << printableText(parser.value(listen))
            << ": " << failure << '\n';
        return 1;
    }
    const QString host = address->host.protocol() == QAbstractSocket::IPv6Protocol
                             ? u'[' + address->host.toString() + u']'
                             : address->host.toString();
    err << "courivane-exporter: listening on http://" << host << ':' << server.port() << "/\n";
    err.flush();
    return QCoreApplication::exec();
}
