#pragma once

#include "polling/CycleState.h"
#include "report/Severity.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <optional>

namespace courivane {

// What a probe says of one service: of all the company's accounts, the worst state, by the one
// rule of how bad a state is.
using ProbeState = Severity;
struct ServiceState {
    Lamp service;
    ProbeState state;
    bool operator==(const ServiceState&) const = default;
};

// The services a pass shows (Web only in the split layout), each with its state. A fetch that
// failed leaves every service unknown; a stale status is at least a warning of the Ryl service,
// as its lamp shows it.
QList<ServiceState> serviceStates(const PassResult& result);

// Why an account gave no status, as a label value from a small fixed set: refused, timeout,
// http, certificate, authentication, no_status, cut_short, proxy, or other. Never the reason's
// own text, which can hold names and servers.
const char* failureKind(const QString& reason);
inline constexpr const char* kFailureKinds[] = {"refused",     "timeout",        "http",
                                                "certificate", "authentication", "no_status",
                                                "cut_short",   "proxy",          "other"};

// Whether every account of the company answered with a status, and none is left out for being
// incomplete.
bool probeSucceeded(const PassResult& result);
// The exposition text of one probe's pass.
QByteArray probeExposition(const PassResult& result, double durationSeconds);

// The exporter's own counters and their exposition text.
struct ExporterCounters {
    quint64 probes = 0;
    quint64 probeFailures = 0;
    quint64 refused = 0;
    quint64 accountReads = 0; // times the accounts file was read, once for each change
};
QByteArray exporterExposition(const ExporterCounters& counters);

// How long a probe may take: the whole probe, and each fetch within it.
struct ProbeBudget {
    int deadlineMs;
    int fetchBoundMs;
    bool operator==(const ProbeBudget&) const = default;
};
// From the scraper's X-Prometheus-Scrape-Timeout-Seconds (empty when it sent none): half a second
// less than it, and never longer than a fetch's own bound.
ProbeBudget probeBudget(const QByteArray& scrapeTimeoutSeconds);
// What is left of a budget after waiting `waitedMs` for a place; a deadline of 0 or less when
// nothing worth a fetch is left.
ProbeBudget budgetAfterWaiting(ProbeBudget budget, qint64 waitedMs);

// A value of a URL's query as a form encodes it ("+" a blank, %XX a byte of UTF-8); none when
// the key is absent.
std::optional<QString> queryValue(const QByteArray& encodedQuery, const QByteArray& key);

// "HOST:PORT" with an IP address or "localhost", "[::1]:PORT" for IPv6.
struct ListenAddress {
    QHostAddress host;
    quint16 port = 0;
};
std::optional<ListenAddress> parseListenAddress(const QString& text);

} // namespace courivane
