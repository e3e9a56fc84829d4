#include "polling/FetchTarget.h"

#include <QStringBuilder>

#include <algorithm>

#include "config/OptionsFile.h"

namespace courivane {

namespace {

// Only blanks are trimmed, and only at the two ends.
QString trimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}

QString badPortText(const QString& portText) {
    return QStringLiteral("the port \"%1\" of the monitoring server is no whole number from 1 to "
                          "65535")
        .arg(portText);
}

} // namespace

QString percentEncodeInvisible(const QString& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    // Nearly always nothing to encode: the text as it is, without a copy.
    if (std::all_of(text.cbegin(), text.cend(),
                    [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7F; }))
        return text;
    const QByteArray bytes = text.toUtf8();
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b > 0x20 && b < 0x7F) {
            out += QLatin1Char(c);
        } else {
            out += u'%';
            out += QLatin1Char(kHex[b >> 4]);
            out += QLatin1Char(kHex[b & 0xF]);
        }
    }
    return out;
}

QString statusSuffix(bool web) {
    return web ? QStringLiteral(".txt") : QStringLiteral("Status.txt");
}

namespace {

// "http://" is the bare form written out; "https://" asks for TLS. Either in any case. The
// server without its scheme and without slashes at its end: "mon1/base/" names the folder
// "/base", not "/base/" with an empty folder after it.
QString withoutScheme(const QString& written, bool* tls) {
    QString server = written;
    if (const qsizetype end = server.indexOf(QLatin1String("://")); end >= 0) {
        const QString scheme = server.left(end).toLower();
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
            *tls = scheme == QLatin1String("https");
            server = server.mid(scheme.size() + 3);
        }
    }
    while (server.endsWith(u'/'))
        server.chop(1);
    return server;
}

// Splits the status URL's text after its scheme at its first slash (0-based positions: "at a
// position greater than 1" is an index above 0): the request path, without a fragment, goes to
// the target; the server part before it is returned.
QString takeRequestPath(const QString& afterScheme, FetchTarget& target) {
    QString h = afterScheme;
    const qsizetype slash = h.indexOf(u'/');
    if (slash > 0) {
        target.requestPath = h.mid(slash);
        h = h.left(slash);
        if (const qsizetype hash = target.requestPath.indexOf(u'#'); hash > 0)
            target.requestPath = target.requestPath.left(hash);
    } else {
        target.requestPath = QStringLiteral("/");
    }
    target.requestPath = percentEncodeInvisible(target.requestPath);
    return h;
}

// A bracketed IPv6 literal holds colons of its own; a port can only follow the bracket.
void readBracketedAuthority(const QString& h, FetchTarget& target) {
    const qsizetype close = h.indexOf(u']');
    if (close < 0) {
        target.addressError = QStringLiteral("the address \"%1\" lacks its closing \"]\"").arg(h);
        target.host = h.mid(1);
        return;
    }
    target.host = unbracketedHost(h.left(close + 1));
    const QString rest = h.mid(close + 1);
    if (rest.startsWith(u':')) {
        if (const auto port = parsePort(rest.mid(1)))
            target.explicitPort = *port;
        else
            target.addressError = badPortText(rest.mid(1));
    } else if (!rest.isEmpty()) {
        target.addressError = QStringLiteral("the address \"%1\" has text after its \"]\"").arg(h);
    }
}

// The host and its port, if one is named.
void readAuthority(const QString& authority, FetchTarget& target) {
    if (authority.startsWith(u'[')) {
        readBracketedAuthority(authority, target);
        return;
    }
    QString h = authority;
    const qsizetype colon = h.indexOf(u':');
    if (colon > 0) {
        const QString portText = h.mid(colon + 1);
        if (const auto port = parsePort(portText))
            target.explicitPort = *port;
        else
            target.addressError = badPortText(portText);
        h = h.left(colon);
    }
    target.host = h;
    // What no host name holds never reaches the resolver: "/base" or ":80" names no server.
    if (target.addressError.isEmpty() &&
        (h.isEmpty() || !std::all_of(h.cbegin(), h.cend(), isHostNameChar)))
        target.addressError = QStringLiteral("\"%1\" is no host name").arg(h);
}

} // namespace

FetchTarget deriveFetchTarget(const AccountRecord& account, bool web) {
    FetchTarget target;
    // Blanks typed around a name are no part of it: " mon1" is mon1.
    target.server = trimBlanks(account.MonitoringServer);
    target.user = trimBlanks(account.UserName);
    const QString server = withoutScheme(target.server, &target.tls);
    const QString shown = target.tls ? QStringLiteral("https://") : QStringLiteral("http://");
    // Each joined in one go: this runs for every account on every pass.
    const QString afterScheme = server % u"/status/" % target.user % statusSuffix(web);
    target.statusUrl = shown % afterScheme;
    target.logUrl =
        percentEncodeInvisible(shown % server % u"/logs/" % target.user % u"/index.html");
    // Without a server there is nothing to ask, and nothing may reach the resolver.
    if (server.isEmpty())
        target.addressError = QStringLiteral("no monitoring server is given");
    target.authority = takeRequestPath(afterScheme, target);
    readAuthority(target.authority, target);
    return target;
}

QString unbracketedHost(const QString& host) {
    return host.size() >= 2 && host.startsWith(u'[') && host.endsWith(u']')
               ? host.mid(1, host.size() - 2)
               : host;
}

} // namespace courivane
