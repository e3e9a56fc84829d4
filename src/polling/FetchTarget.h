#pragma once

#include "config/AccountsFile.h"

#include <QString>

#include <optional>

namespace courivane {

// Every byte that is not visible ASCII (space, control characters, and the UTF-8 bytes of
// anything beyond ASCII) as %XX: no name can put a blank or a line end into a request line.
QString percentEncodeInvisible(const QString& text);

// Where one account's status is fetched from, worked out afresh for every account.
struct FetchTarget {
    // The server and user name as the account names them, blanks trimmed: what a stored password
    // is kept under.
    QString server;
    QString user;
    // The server was written "https://...": fetched over TLS, through a proxy by a tunnel.
    bool tls = false;
    QString statusUrl;
    QString logUrl;
    QString host;        // connection host when no proxy is used; an IPv6 literal unbracketed
    QString requestPath; // text sent after "GET " on a direct connection, percent-encoded
    QString authority;   // host, with ":port" when the server names one (the proxy's URL)
    std::optional<qint32> explicitPort;
    QString addressError; // why the server address cannot be fetched from, if it cannot

    // The port for a direct connection: the account's own, else 80 (443 over TLS).
    qint32 directPort() const { return explicitPort.value_or(tls ? 443 : 80); }
    // What a proxy is asked to open a tunnel to: host and port, an IPv6 literal in brackets.
    QString tunnelAuthority() const {
        const QString name = host.contains(u':') ? u'[' + host + u']' : host;
        return percentEncodeInvisible(name) + u':' + QString::number(directPort());
    }
    // The absolute URL a proxy is asked for; it keeps the account's explicit port.
    QString proxyRequestPath() const {
        return QStringLiteral("http://") + percentEncodeInvisible(authority) + requestPath;
    }
};

// The status file's suffix: ".txt" with a separate Web column, else "Status.txt".
QString statusSuffix(bool web);

FetchTarget deriveFetchTarget(const AccountRecord& account, bool web);

// An IPv6 literal may be written in brackets, as in a URL: the address without them.
QString unbracketedHost(const QString& host);

} // namespace courivane
