#include "cli/CheckReport.h"

#include "config/OptionsFile.h"
#include "report/LampCompanies.h"
#include "report/Severity.h"

#include <QStringList>

#include <functional>
#include <optional>

namespace courivane {

namespace {

const char* const kStatusWords[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};

// The plug-in's counters, in lamp order; the Ryl lamp has no pass counter.
constexpr Lamp kLamps[] = {IcmpLamp,    WebLamp,  Pop3Lamp, SmtpLamp,
                           ReceiveLamp, SendLamp, RylLamp,  ConnectionLamp};

QLatin1String label(Lamp lamp) {
    return QLatin1String(lampNames(lamp).label);
}
QLatin1String perfLabel(Lamp lamp) {
    return QLatin1String(lampNames(lamp).perf);
}

// In the text table a blank cell still needs a mark.
QString cellText(Verdict verdict) {
    return verdict == Verdict::Blank ? QStringLiteral("-") : verdictText(verdict);
}

const QString kInvalidTime = QStringLiteral("invalid time");

QString incompleteText(int line) {
    return QStringLiteral("the account at line %1 of %2 is incomplete and not checked")
        .arg(line)
        .arg(kAccountsFileName);
}

} // namespace

namespace {

// The companies whose rows match, each with what is said of it, at most three named and then
// how many more.
using Detail = std::function<std::optional<QString>(const Reply&)>;
QString companiesWhere(const PassResult& result, const Detail& detail) {
    QStringList named;
    for (const AccountRow& row : result.rows)
        if (const std::optional<QString> d = detail(row.reply))
            named << printableText(row.company) + *d;
    named.removeDuplicates();
    return namesList(named, 3);
}

// " (SMTP/Web)" for the services whose state is not known.
std::optional<QString> unknownServices(const Reply& reply) {
    QStringList services;
    if (!reply.failed)
        for (const ServiceVerdict& s : reply.services)
            if (s.verdict == Verdict::Unknown)
                services << label(s.service);
    if (services.isEmpty())
        return std::nullopt;
    return QStringLiteral(" (") + services.join(u'/') + u')';
}
std::optional<QString> staleStatus(const Reply& reply) {
    return reply.stale ? std::optional<QString>(QString()) : std::nullopt;
}

struct Tally {
    int stale = 0;
    int unknown = 0; // accounts with a service whose state is not known
};
Tally tallyOf(const PassResult& result) {
    Tally t;
    for (const AccountRow& row : result.rows) {
        t.stale += row.reply.stale ? 1 : 0;
        t.unknown += !row.reply.failed && hasUnknown(row.reply) ? 1 : 0;
    }
    return t;
}
QString tallyPerf(const Tally& t) {
    return QStringLiteral(" stale=%1 unknown=%2").arg(t.stale).arg(t.unknown);
}

} // namespace

CheckStatus checkStatusOf(const PassResult& result) {
    // Any failure is critical; then a state not known (no account at all is nothing known);
    // then a warning or a stale status.
    bool orange = false;
    for (const LampColour colour : result.end.colours) {
        if (colour == LampColour::Red)
            return CheckCritical;
        orange = orange || colour == LampColour::Orange;
    }
    if (result.rows.isEmpty() || tallyOf(result).unknown > 0)
        return CheckUnknown;
    return orange || result.incompleteLine > 0 ? CheckWarning : CheckOk;
}

QString checkStatusLine(const PassResult& result) {
    const CheckStatus status = checkStatusOf(result);
    QStringList failed;
    for (const Lamp lamp : kLamps)
        if (lamp != RylLamp && result.counters[lamp] > 0 && (lamp != WebLamp || result.web))
            failed << QStringLiteral("%1 %2").arg(label(lamp)).arg(result.counters[lamp]);
    if (result.end.colours[RylLamp] == LampColour::Red)
        failed << QStringLiteral("Ryl");

    // Every service that warns by the rule the lamps follow: a warning, a state not known, and a
    // stale status's Ryl.
    int warnings = 0;
    for (const AccountRow& row : result.rows)
        for (const ServiceSeverity& s : serviceSeverities(row.reply))
            warnings += s.severity == Severity::Warning || s.severity == Severity::Unknown ? 1 : 0;

    const qsizetype accounts = result.rows.size();
    QString summary = QStringLiteral("%1 account%2").arg(accounts).arg(accounts == 1 ? "" : "s");
    if (!failed.isEmpty())
        summary += QStringLiteral(", failed: ") + failed.join(QStringLiteral(", "));
    if (warnings > 0)
        summary += QStringLiteral(", %1 warning%2").arg(warnings).arg(warnings == 1 ? "" : "s");
    const Tally tally = tallyOf(result);
    if (tally.unknown > 0)
        summary += QStringLiteral(", unknown: ") + companiesWhere(result, unknownServices);
    if (tally.stale > 0)
        summary += QStringLiteral(", stale: ") + companiesWhere(result, staleStatus);
    if (result.incompleteLine > 0)
        summary += QStringLiteral(", ") + incompleteText(result.incompleteLine);
    if (accounts == 0)
        summary += QStringLiteral(", nothing to check");
    else if (failed.isEmpty() && warnings == 0 && tally.unknown == 0 && tally.stale == 0 &&
             result.incompleteLine == 0)
        summary += QStringLiteral(", all services OK");

    QStringList perf;
    for (const Lamp lamp : kLamps)
        if (lamp != RylLamp)
            perf << QStringLiteral("%1=%2").arg(perfLabel(lamp)).arg(result.counters[lamp]);
    perf << QStringLiteral("accounts=%1").arg(accounts);
    return QStringLiteral("COURIVANE %1 - %2 | %3%4")
        .arg(QLatin1String(kStatusWords[status]), summary, perf.join(u' '), tallyPerf(tally));
}

QString checkCompanyLine(const QString& company, const PassResult& result) {
    std::array<int, kLampCount> failed{};
    std::array<bool, kLampCount> warned{};
    std::array<bool, kLampCount> unknown{};
    bool stale = false;
    QStringList unreachable;
    for (const AccountRow& row : result.rows) {
        if (row.reply.failed) {
            ++failed[ConnectionLamp];
            unreachable << printableText(row.reply.reason);
        }
        for (const ServiceVerdict& s : row.reply.services) {
            failed[s.service] += s.verdict == Verdict::Fail ? 1 : 0;
            warned[s.service] = warned[s.service] || s.verdict == Verdict::Warning;
            unknown[s.service] = unknown[s.service] || s.verdict == Verdict::Unknown;
        }
        stale = stale || row.reply.stale;
    }
    QStringList parts;
    if (!unreachable.isEmpty()) {
        unreachable.removeDuplicates();
        parts
            << QStringLiteral("connection failed (%1)").arg(unreachable.join(QStringLiteral("; ")));
    }
    for (const Lamp lamp : kLamps)
        if (lamp != ConnectionLamp && failed[lamp] > 0)
            parts << QStringLiteral("%1 failed").arg(label(lamp));
    for (const Lamp lamp : kLamps)
        if (warned[lamp] && failed[lamp] == 0)
            parts << QStringLiteral("%1 warning").arg(label(lamp));
    for (const Lamp lamp : kLamps)
        if (unknown[lamp] && failed[lamp] == 0)
            parts << QStringLiteral("%1 unknown").arg(label(lamp));
    if (stale)
        parts << QStringLiteral("status stale");
    if (result.incompleteLine > 0)
        parts << incompleteText(result.incompleteLine);
    if (parts.isEmpty())
        parts << QStringLiteral("all services OK");

    QStringList perf;
    for (const Lamp lamp : kLamps)
        perf << QStringLiteral("%1=%2").arg(perfLabel(lamp)).arg(failed[lamp]);
    return QStringLiteral("COURIVANE %1 - %2: %3 | %4%5")
        .arg(QLatin1String(kStatusWords[checkStatusOf(result)]), printableText(company),
             parts.join(QStringLiteral(", ")), perf.join(u' '), tallyPerf(tallyOf(result)));
}

QString checkTable(const PassResult& result) {
    QStringList head = {QStringLiteral("Company"), QStringLiteral("Last Update")};
    for (const Lamp lamp : kLamps)
        if (lamp != ConnectionLamp && (lamp != WebLamp || result.web))
            head << QLatin1String(lampNames(lamp).column);
    QList<QStringList> table{head};
    for (const AccountRow& row : result.rows) {
        // Names come from a file and reasons can carry them: nothing reaches the terminal that
        // could move its cursor, ring or end a line.
        QStringList cells{printableText(row.company)};
        if (row.reply.failed) {
            cells << printableText(QStringLiteral("Error Connecting! (%1)").arg(row.reply.reason));
            for (qsizetype i = 2; i < head.size(); ++i)
                cells << QString();
        } else {
            cells << (row.reply.updated.isValid() ? formatLocalTime(row.reply.updated)
                                                  : kInvalidTime) +
                         (row.reply.stale ? QStringLiteral(" (stale)") : QString());
            for (const ServiceVerdict& s : row.reply.services)
                cells << cellText(s.verdict);
        }
        table << cells;
    }
    QList<qsizetype> widths(head.size(), 0);
    for (const QStringList& line : table)
        for (qsizetype i = 0; i < line.size() && i < widths.size(); ++i)
            widths[i] = std::max(widths[i], line.at(i).size());
    QString text;
    QString out; // one line, its room kept from line to line
    for (const QStringList& line : table) {
        out.truncate(0);
        for (qsizetype i = 0; i < line.size() && i < widths.size(); ++i) {
            out += line.at(i);
            // Padded to its column, as leftJustified would, without a copy of each cell.
            if (i + 1 < line.size() && line.at(i).size() < widths[i] + 2)
                out.resize(widths[i] + 2 - line.at(i).size() + out.size(), u' ');
        }
        text += out.trimmed();
        text += u'\n';
    }
    return text;
}

} // namespace courivane
