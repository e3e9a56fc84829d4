#pragma once

#include "config/AccountsFile.h"

#include <QString>

#include <optional>

namespace courivane {

// Where one account's status is fetched from, worked out afresh for every account.
QString percentEncodeInvisible(const QString& text);

struct FetchTarget {
    QString statusUrl;
    QString logUrl;
    QString host;        // connection host when no proxy is used; an IPv6 literal unbracketed
    QString requestPath; // text sent after "GET " on a direct connection, percent-encoded
    QString authority;   // host, with ":port" when the server names one (the proxy's URL)
    std::optional<qint32> explicitPort;
    QString portError; // set when the text after ":" is no usable port

    // The port for a direct connection: the account's own, else 80.
    qint32 directPort() const { return explicitPort.value_or(80); }
    // The absolute URL a proxy is asked for; it keeps the account's explicit port.
    QString proxyRequestPath() const {
        return QStringLiteral("http://") + percentEncodeInvisible(authority) + requestPath;
    }
};

// Every byte that is not visible ASCII (space, control characters, and the UTF-8 bytes of
// anything beyond ASCII) as %XX: no name can put a blank or a line end into a request line.
QString percentEncodeInvisible(const QString& text);

// The status file's suffix by split flag: ".txt" with a separate Web column, else "Status.txt".
QString statusSuffix(int splitFlag);

FetchTarget deriveFetchTarget(const AccountRecord& account, int splitFlag);

// An IPv6 literal may be written in brackets, as in a URL: the address without them.
QString unbracketedHost(const QString& host);

} // namespace courivane
