#include "polling/FetchTarget.h"

namespace courivane {

namespace {

// Only blanks are trimmed, and only at the two ends of the whole URL.
QString trimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

QString statusSuffix(int splitFlag) {
    return splitFlag == 1 ? QStringLiteral(".txt") : QStringLiteral("Status.txt");
}

FetchTarget deriveFetchTarget(const AccountRecord& account, int splitFlag) {
    FetchTarget target;
    const QString& server = account.MonitoringServer;
    const QString& user = account.UserName;
    target.statusUrl = QStringLiteral("http://") + server + QStringLiteral("/status/") + user +
                       statusSuffix(splitFlag);
    target.logUrl = QStringLiteral("http://") + server + QStringLiteral("/logs/") + user +
                    QStringLiteral("/index.html");

    // Positions below are 0-based; "at a position greater than 1" becomes "index above 0".
    QString h = trimBlanks(target.statusUrl);
    if (const qsizetype p = h.indexOf(QLatin1String("://")); p >= 0)
        h = h.mid(p + 3);

    const qsizetype slash = h.indexOf(u'/');
    if (slash > 0) {
        target.requestPath = h.mid(slash);
        h = h.left(slash);
        if (const qsizetype hash = target.requestPath.indexOf(u'#'); hash > 0)
            target.requestPath = target.requestPath.left(hash);
    } else {
        target.requestPath = QStringLiteral("/");
    }

    target.authority = h;
    if (const qsizetype colon = h.indexOf(u':'); colon > 0) {
        const QString portText = h.mid(colon + 1);
        bool ok = false;
        const int port = portText.toInt(&ok, 10);
        if (ok && port >= 1 && port <= 65535) {
            target.explicitPort = port;
        } else {
            target.portError =
                QStringLiteral("the port \"%1\" of the monitoring server is no whole number from "
                               "1 to 65535")
                    .arg(portText);
        }
        h = h.left(colon);
    }
    target.host = h;
    return target;
}

} // namespace courivane
