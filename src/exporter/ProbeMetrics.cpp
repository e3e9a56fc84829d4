#include "exporter/ProbeMetrics.h"

#include "polling/StatusFetch.h"
#include "report/Severity.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace courivane {

namespace {

// Exposition order of the states, and their label values.
constexpr ProbeState kStates[] = {ProbeState::Ok, ProbeState::Fail, ProbeState::Blank,
                                  ProbeState::Unknown, ProbeState::Warning};
const char* stateLabel(ProbeState state) {
    switch (state) {
    case ProbeState::Ok:
        return "ok";
    case ProbeState::Fail:
        return "fail";
    case ProbeState::Blank:
        return "blank";
    case ProbeState::Unknown:
        return "unknown";
    case ProbeState::Warning:
        return "warning";
    }
    return "unknown";
}

void gauge(QByteArray& out, const char* name, const char* help) {
    out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + " gauge\n";
}

} // namespace

const char* failureKind(const QString& reason) {
    const auto starts = [&](const char* text) { return reason.startsWith(QLatin1String(text)); };
    if (starts("the proxy"))
        return "proxy";
    if (starts("HTTP "))
        return "http";
    if (starts("the server refused the connection") || starts("the server reset"))
        return "refused";
    if (starts("no complete reply") || starts("no answer in time") ||
        starts("the server did not answer"))
        return "timeout";
    if (starts("certificate"))
        return "certificate";
    if (starts("authentication") || starts("the server refused the password") ||
        starts("password not sent"))
        return "authentication";
    if (starts("the status is cut short"))
        return "cut_short";
    if (starts("the reply") || starts("the server closed"))
        return "no_status";
    return "other";
}

QList<ServiceState> serviceStates(const PassResult& result) {
    // The worst of the company's accounts, by the one rule; an account that gave no status
    // leaves each service not known.
    QList<ServiceState> states;
    for (int lamp = IcmpLamp; lamp <= RylLamp; ++lamp)
        if (lamp != WebLamp || result.web)
            states.append({Lamp(lamp), Severity::Blank});
    auto worsen = [&](Lamp service, Severity severity) {
        for (ServiceState& s : states)
            if (s.service == service)
                s.state = std::max(s.state, severity);
    };
    for (const AccountRow& row : result.rows) {
        if (row.reply.failed)
            for (ServiceState& s : states)
                s.state = std::max(s.state, Severity::Unknown);
        for (const ServiceSeverity& s : serviceSeverities(row.reply))
            worsen(s.service, s.severity);
    }
    return states;
}

bool probeSucceeded(const PassResult& result) {
    return !result.rows.isEmpty() && result.incompleteLine == 0 &&
           std::none_of(result.rows.cbegin(), result.rows.cend(),
                        [](const AccountRow& row) { return row.reply.failed; });
}

QByteArray probeExposition(const PassResult& result, double durationSeconds) {
    QByteArray out;
    const bool answered = probeSucceeded(result);
    gauge(out, "courivane_probe_success",
          "Whether every account of the company answered with a status.");
    out += QByteArray("courivane_probe_success ") + (answered ? "1" : "0") + '\n';
    if (!result.rows.isEmpty()) {
        gauge(out, "courivane_service_status",
              "The state of each service, the worst of the company's accounts; one state is 1.");
        for (const ServiceState& s : serviceStates(result))
            for (ProbeState state : kStates)
                out += QByteArray("courivane_service_status{service=\"") +
                       lampNames(s.service).perf + "\",state=\"" + stateLabel(state) + "\"} " +
                       (state == s.state ? "1" : "0") + '\n';
        std::optional<qint64> age;
        for (const AccountRow& row : result.rows)
            if (!row.reply.failed && row.reply.updated.isValid())
                age = std::max(age.value_or(LLONG_MIN), row.reply.updated.secsTo(result.endedAt));
        if (age) {
            gauge(out, "courivane_status_age_seconds",
                  "Seconds since the oldest of the company's statuses was last updated.");
            out += "courivane_status_age_seconds " + QByteArray::number(*age) + '\n';
        }
    }
    gauge(out, "courivane_incomplete_accounts",
          "Accounts of the company that are incomplete in the accounts file and not checked.");
    out += QByteArray("courivane_incomplete_accounts ") + (result.incompleteLine > 0 ? "1" : "0") +
           '\n';
    gauge(out, "courivane_probe_failed_accounts",
          "The company's accounts that gave no status, by why: a fixed set of reasons.");
    for (const char* kind : kFailureKinds) {
        int n = 0;
        for (const AccountRow& row : result.rows)
            n += row.reply.failed && std::strcmp(failureKind(row.reply.reason), kind) == 0 ? 1 : 0;
        out += QByteArray("courivane_probe_failed_accounts{reason=\"") + kind + "\"} " +
               QByteArray::number(n) + '\n';
    }
    const QByteArray seconds = QByteArray::number(durationSeconds, 'f', 6);
    gauge(out, "courivane_probe_duration_seconds", "How long the probe took.");
    out += "courivane_probe_duration_seconds " + seconds + '\n';
    // The name of the first release, kept for one more: it is the same figure.
    gauge(out, "courivane_fetch_duration_seconds",
          "Deprecated, goes in the next release: courivane_probe_duration_seconds.");
    out += "courivane_fetch_duration_seconds " + seconds + '\n';
    return out;
}

QByteArray exporterExposition(const ExporterCounters& counters) {
    QByteArray out;
    auto counter = [&](const char* name, const char* help, quint64 value) {
        out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + " counter\n" +
               name + ' ' + QByteArray::number(value) + '\n';
    };
    counter("courivane_exporter_probes_total", "Probes answered.", counters.probes);
    counter("courivane_exporter_probe_failures_total",
            "Probes in which an account gave no status, or the time ran out.",
            counters.probeFailures);
    counter("courivane_exporter_requests_refused_total",
            "Requests refused: too large, too slow or too many at once.", counters.refused);
    counter("courivane_exporter_accounts_reads_total",
            "Times the accounts file was read: once at the first probe and after each change.",
            counters.accountReads);
    return out;
}

ProbeBudget probeBudget(const QByteArray& scrapeTimeoutSeconds) {
    constexpr int kMarginMs = 500;
    // What is left for the answer once the fetches have ended.
    constexpr int kAnswerMs = 250;
    constexpr int kLeastMs = 100;
    int deadline = StatusFetch::kFetchTimeoutMs + kAnswerMs;
    bool ok = false;
    const double seconds = scrapeTimeoutSeconds.trimmed().toDouble(&ok);
    if (ok && std::isfinite(seconds) && seconds > 0)
        deadline = int(std::clamp(seconds * 1000 - kMarginMs, double(kLeastMs), double(deadline)));
    return {deadline, std::max(kLeastMs / 2, deadline - kAnswerMs)};
}

ProbeBudget budgetAfterWaiting(ProbeBudget budget, qint64 waitedMs) {
    // A fetch needs a little time of its own to be worth starting, and the answer some after it.
    constexpr qint64 kLeastFetchMs = 100;
    constexpr qint64 kAnswerMs = 250;
    const qint64 deadline = budget.deadlineMs - waitedMs;
    if (deadline < kLeastFetchMs + kAnswerMs)
        return {0, 0};
    return {int(deadline), int(std::min<qint64>(budget.fetchBoundMs, deadline - kAnswerMs))};
}

std::optional<QString> queryValue(const QByteArray& encodedQuery, const QByteArray& key) {
    for (const QByteArray& pair : encodedQuery.split('&')) {
        const qsizetype equals = pair.indexOf('=');
        QByteArray name = equals < 0 ? pair : pair.left(equals);
        QByteArray value = equals < 0 ? QByteArray() : pair.mid(equals + 1);
        name.replace('+', ' ');
        value.replace('+', ' ');
        if (QByteArray::fromPercentEncoding(name) == key)
            return QString::fromUtf8(QByteArray::fromPercentEncoding(value));
    }
    return std::nullopt;
}

std::optional<ListenAddress> parseListenAddress(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("^(?:\\[([^\\]]+)\\]|([^:\\[\\]]+)):(\\d{1,5})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QString host = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
    const int port = match.captured(3).toInt();
    if (port > 65535)
        return std::nullopt;
    QHostAddress address;
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        address = QHostAddress::LocalHost;
    else if (!address.setAddress(host))
        return std::nullopt;
    // "[...]" holds an IPv6 address and nothing else.
    if (!match.captured(1).isEmpty() && address.protocol() != QAbstractSocket::IPv6Protocol)
        return std::nullopt;
    return ListenAddress{address, quint16(port)};
}

} // namespace courivane
