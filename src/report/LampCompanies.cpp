#include "report/LampCompanies.h"

#include "report/Severity.h"
#include "report/SummaryPage.h"

#include <vector>

namespace courivane {

namespace {

// Names in the order first seen, each once: the set keeps a list of thousands linear.
struct NamesOnce {
    QStringList& list;
    qsizetype most; // how many names there can be
    QSet<QString> seen;
    // Whether it is new.
    bool add(const QString& company) {
        // Room for all at once: growing a set of tens of thousands rehashes it again and again.
        if (seen.isEmpty())
            seen.reserve(most);
        const qsizetype known = seen.size();
        seen.insert(company);
        if (seen.size() == known)
            return false;
        list.append(company);
        return true;
    }
};

// The names, each with since when its trouble lasts where that is known, and what the alerts
// say of it on the lamp.
QStringList withSince(const QStringList& names, const LampCompanies& companies, int lamp) {
    const QHash<QString, QString>& notes = companies.notes[lamp];
    if (companies.since.isEmpty() && notes.isEmpty())
        return names;
    QStringList named;
    named.reserve(names.size());
    for (const QString& name : names) {
        QStringList about;
        if (const auto since = companies.since.constFind(name); since != companies.since.cend())
            about << sinceText(*since, companies.at);
        if (const auto note = notes.constFind(name); note != notes.cend())
            about << *note;
        named << (about.isEmpty()
                      ? name
                      : name + QStringLiteral(" (") + about.join(QStringLiteral("; ")) + u')');
    }
    return named;
}

QString companiesCount(qsizetype n) {
    return n == 1 ? QStringLiteral("1 company") : QStringLiteral("%1 companies").arg(n);
}

} // namespace

LampCompanies lampCompanies(const QList<AccountRow>& rows) {
    LampCompanies c;
    std::vector<NamesOnce> failing, warning;
    for (int lamp = 0; lamp < kLampCount; ++lamp) {
        failing.push_back({c.failing[lamp], rows.size(), {}});
        warning.push_back({c.warning[lamp], rows.size(), {}});
    }
    c.since = companiesSince(rows);
    for (const AccountRow& row : rows) {
        if (row.reply.failed) {
            if (failing[ConnectionLamp].add(row.company))
                c.failures.append({row.company, ConnectionLamp, row.reply.reason});
            continue;
        }
        for (const ServiceSeverity& s : serviceSeverities(row.reply)) {
            if (s.severity == Severity::Fail) {
                if (failing[s.service].add(row.company))
                    c.failures.append({row.company, s.service, {}});
            } else if (s.severity >= Severity::Warning) {
                warning[s.service].add(row.company);
            }
        }
    }
    // A lamp that is red for a company does not also call it a warning.
    for (int lamp = 0; lamp < kLampCount; ++lamp)
        if (!failing[lamp].seen.isEmpty())
            c.warning[lamp].removeIf(
                [&](const QString& company) { return failing[lamp].seen.contains(company); });
    return c;
}

QHash<QString, QDateTime> companiesSince(const QList<AccountRow>& rows) {
    QHash<QString, QDateTime> since;
    for (const AccountRow& row : rows)
        if (row.since.isValid()) {
            QDateTime& oldest = since[row.company];
            if (!oldest.isValid() || row.since < oldest)
                oldest = row.since;
        }
    return since;
}

TrayState trayState(const std::array<LampColour, kLampCount>& colours) {
    TrayState state = TrayState::Green;
    for (LampColour colour : colours) {
        if (colour == LampColour::Red)
            return TrayState::Red;
        if (colour == LampColour::Orange)
            state = TrayState::Orange;
    }
    return state;
}

QString moreText(qsizetype more) {
    return QStringLiteral("and %1 more").arg(more);
}

QStringList firstLines(const QStringList& lines, qsizetype most) {
    QStringList first = lines.mid(0, most);
    if (lines.size() > most)
        first << moreText(lines.size() - most);
    return first;
}

QString namesList(const QStringList& names, qsizetype most, const QString& separator) {
    QStringList shown = firstLines(names, most);
    if (names.size() <= most)
        return shown.join(separator);
    const QString more = shown.takeLast();
    return shown.join(separator) + u' ' + more;
}

namespace {

// "Failing: A, B" on one line while it fits a tooltip; longer, under its head a name a line.
// Only the names shown are told since when: a lamp may carry thousands.
void addNames(QStringList& lines, const QString& head, const QStringList& names,
              const LampCompanies& companies, int lamp) {
    constexpr qsizetype kLine = 100;
    constexpr qsizetype kMost = 10;
    QStringList shown = withSince(names.mid(0, kMost), companies, lamp);
    if (names.size() > kMost)
        shown << moreText(names.size() - kMost);
    const QString more = names.size() > kMost ? QStringLiteral(" ") + shown.last() : QString();
    const QString line = head + QStringLiteral(": ") +
                         QStringList(shown.mid(0, kMost)).join(QStringLiteral(", ")) + more;
    if (line.size() <= kLine) {
        lines << line;
        return;
    }
    lines << head + u':';
    for (const QString& name : std::as_const(shown))
        lines << QStringLiteral("  ") + name;
}

} // namespace

QStringList trayTooltipLines(TrayState state, const LampCompanies& companies, bool acknowledged) {
    switch (state) {
    case TrayState::Waiting:
        return {QStringLiteral("Courivane: checking, no pass has ended yet")};
    case TrayState::Green:
        return {QStringLiteral("Courivane: all services OK")};
    case TrayState::Orange:
    case TrayState::Red:
        break;
    }
    QStringList lines{state == TrayState::Red
                          ? (acknowledged ? QStringLiteral("Courivane: failures (acknowledged)")
                                          : QStringLiteral("Courivane: failures"))
                          : QStringLiteral("Courivane: warnings")};
    for (int lamp = 0; lamp < kLampCount; ++lamp) {
        const QString label = QLatin1String(lampNames(Lamp(lamp)).label);
        if (!companies.failing[lamp].isEmpty())
            addNames(lines, label + QStringLiteral(" failed"), companies.failing[lamp], companies,
                     lamp);
        else if (!companies.warning[lamp].isEmpty())
            addNames(lines, label + QStringLiteral(" warning"), companies.warning[lamp], companies,
                     lamp);
    }
    return lines;
}

QStringList lampTooltipLines(const QString& firstLine, Lamp lamp, const LampCompanies& companies) {
    QStringList lines{firstLine};
    if (!companies.failing[lamp].isEmpty())
        addNames(lines, QStringLiteral("Failing"), companies.failing[lamp], companies, lamp);
    if (!companies.warning[lamp].isEmpty())
        addNames(lines, QStringLiteral("Warning"), companies.warning[lamp], companies, lamp);
    return lines;
}

QString lampDescription(LampColour colour, Lamp lamp, const LampCompanies& companies,
                        bool acknowledged) {
    switch (colour) {
    case LampColour::Red:
        return QStringLiteral("failing, ") + companiesCount(companies.failing[lamp].size()) +
               (acknowledged ? QStringLiteral(", acknowledged") : QString());
    case LampColour::Orange:
        return QStringLiteral("warning, ") + companiesCount(companies.warning[lamp].size());
    case LampColour::Green:
        return QStringLiteral("OK");
    case LampColour::White:
        break;
    }
    return QStringLiteral("not checked yet");
}

} // namespace courivane
