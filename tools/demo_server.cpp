// courivane-demo-server: a small monitoring server for trying Courivane out. It serves, on
// 127.0.0.1, the status files of a handful of invented companies in both layouts and a log page
// for each, and changes their statuses on a fixed two-minute script.

#include "StatusText.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>

#include <cstdio>

namespace {

struct Company {
    const char* name;
    const char* user;
};

constexpr Company kCompanies[] = {
    {"Acme Freight", "acme"},          {"Blue Heron Bakery", "blueheron"},
    {"Cedar & Pine Law", "cedarpine"}, {"Dunmore Clinic", "dunmore"},
    {"Eastgate Hotels", "eastgate"},
};

// Services in the order of the split layout: ICMP, Web, POP3, Receive, SMTP, Ryl, Send.
enum Field { Icmp, Web, Pop3, Receive, Smtp, Ryl, Send, FieldCount };

struct Status {
    char fields[FieldCount];
    bool answers = true;
};

constexpr int kPeriodSeconds = 120;

// The script: what each company reports at a point of the two-minute period.
Status statusAt(const QByteArray& user, int second) {
    Status s{{'1', '1', '1', '1', '1', '1', '1'}, true};
    const int t = second % kPeriodSeconds;
    if (t < 25) {
        // Start: a failing SMTP service and a Receive warning.
        if (user == "acme")
            s.fields[Smtp] = '0';
        if (user == "eastgate")
            s.fields[Receive] = '4';
    } else if (t < 55) {
        // A bakery's SMTP fails and the clinic's server stops answering.
        if (user == "blueheron")
            s.fields[Smtp] = '0';
        if (user == "dunmore")
            s.answers = false;
        if (user == "eastgate")
            s.fields[Receive] = '4';
    } else if (t < 85) {
        // The clinic is back; a law firm's Send queue warns; its web site is down.
        if (user == "blueheron")
            s.fields[Smtp] = '0';
        if (user == "cedarpine") {
            s.fields[Send] = '4';
            s.fields[Web] = '0';
        }
    }
    // From 85 s to the end of the period, everything is well.
    if (user == "dunmore")
        s.fields[Pop3] = '2'; // the clinic has no POP3 service: a grey cell
    return s;
}

QByteArray statusOf(const Status& s, bool split, const QDateTime& now) {
    return courivane::statusText(
        s.fields, split, now.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1());
}

QByteArray reply(const QByteArray& status, const QByteArray& contentType, const QByteArray& body) {
    return "HTTP/1.0 " + status + "\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

const Company* companyOf(const QByteArray& user) {
    for (const Company& c : kCompanies)
        if (user == c.user)
            return &c;
    return nullptr;
}

class DemoServer : public QObject {
public:
    bool listen(quint16 port) {
        connect(&m_server, &QTcpServer::newConnection, this, [this] { accept(); });
        m_clock.start();
        return m_server.listen(QHostAddress::LocalHost, port);
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    void accept() {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                QByteArray& buffer = m_buffers[socket];
                buffer += socket->readAll();
                if (!buffer.contains("\r\n\r\n") && !buffer.contains("\n\n")) {
                    if (buffer.size() > 8192)
                        socket->abort();
                    return;
                }
                const QByteArray request = m_buffers.take(socket);
                answer(socket, request);
            });
        }
    }

    void answer(QTcpSocket* socket, const QByteArray& request) {
        const QList<QByteArray> words = request.left(request.indexOf('\n')).trimmed().split(' ');
        QByteArray path = words.size() >= 2 ? words.at(1) : QByteArray();
        // A proxy-style absolute URL is served as well.
        if (path.startsWith("http://")) {
            const qsizetype slash = path.indexOf('/', 7);
            path = slash >= 0 ? path.mid(slash) : QByteArray("/");
        }
        const int second = static_cast<int>(m_clock.elapsed() / 1000);
        static const QRegularExpression statusPath(
            QStringLiteral("^/status/([A-Za-z0-9]+?)(Status)?\\.txt$"));
        static const QRegularExpression logPath(
            QStringLiteral("^/logs/([A-Za-z0-9]+)/index\\.html$"));
        const QString p = QString::fromLatin1(path);
        QRegularExpressionMatch m = statusPath.match(p);
        if (m.hasMatch() && companyOf(m.captured(1).toLatin1())) {
            const Status s = statusAt(m.captured(1).toLatin1(), second);
            if (!s.answers) {
                socket->disconnectFromHost(); // a server with nothing to say
                return;
            }
            socket->write(reply("200 OK", "text/plain",
                                statusOf(s, !m.hasCaptured(2), QDateTime::currentDateTimeUtc())));
        } else if ((m = logPath.match(p)).hasMatch() && companyOf(m.captured(1).toLatin1())) {
            const Company* c = companyOf(m.captured(1).toLatin1());
            const QByteArray body =
                "<html><head><title>" + QString::fromUtf8(c->name).toHtmlEscaped().toUtf8() +
                " log</title></head><body><h1>" +
                QString::fromUtf8(c->name).toHtmlEscaped().toUtf8() + "</h1><p>Demo log page, " +
                QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toLatin1() +
                " UTC.</p></body></html>";
            socket->write(reply("200 OK", "text/html", body));
        } else {
            socket->write(
                reply("404 Not Found", "text/html", "<html><body>Not found</body></html>"));
        }
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QElapsedTimer m_clock;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("courivane-demo-server"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Serves invented companies' status files on 127.0.0.1 for trying Courivane out."));
    parser.addHelpOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Port to listen on (0: any free port)."),
                                  QStringLiteral("PORT"), QStringLiteral("0"));
    parser.addOption(port);
    parser.process(app);

    DemoServer server;
    if (!server.listen(static_cast<quint16>(parser.value(port).toUInt()))) {
        std::fprintf(stderr, "courivane-demo-server: cannot listen on port %s\n",
                     qPrintable(parser.value(port)));
        return 1;
    }
    QTextStream out(stdout);
    out << "courivane-demo-server listening on 127.0.0.1:" << server.port() << Qt::endl;
    return app.exec();
}
