#pragma once

#include "report/LampRules.h"
#include "report/Reply.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

namespace courivane {

// A company failing on one lamp; on the Connection lamp it could not be asked, and why.
struct Failure {
    QString company;
    Lamp lamp = IcmpLamp;
    QString reason; // Connection only
    bool operator==(const Failure&) const = default;
};

// Who fails and who warns on each lamp after a pass, in file order, each company once.
struct LampCompanies {
    // Every failure in file order, each company and lamp once.
    QList<Failure> failures;
    std::array<QStringList, kLampCount> failing;
    std::array<QStringList, kLampCount> warning;
    // Since when each company's oldest current trouble has lasted, where the history knows it,
    // and when the pass ended: the tooltips name both.
    QHash<QString, QDateTime> since;
    QDateTime at;
    // Per lamp, what the alerts say of a company on it: "flapping", "acknowledged".
    std::array<QHash<QString, QString>, kLampCount> notes;
};
LampCompanies lampCompanies(const QList<AccountRow>& rows);
// Since when each company's oldest current trouble has lasted, where the rows know it.
QHash<QString, QDateTime> companiesSince(const QList<AccountRow>& rows);

// What the tray icon shows: the worst lamp, or that no pass has ended yet.
enum class TrayState { Waiting, Green, Orange, Red };
TrayState trayState(const std::array<LampColour, kLampCount>& colours);

// "and N more".
QString moreText(qsizetype more);
// The first `most` lines, and past them one more line: "and N more".
QStringList firstLines(const QStringList& lines, qsizetype most);
// Names joined with ", " (or `separator`), shortened after `most` with "and N more".
QString namesList(const QStringList& names, qsizetype most = 10,
                  const QString& separator = QStringLiteral(", "));

// The tray icon's tooltip lines: the state, then per lamp the companies failing on it (or, when
// none fails, warning on it).
QStringList trayTooltipLines(TrayState state, const LampCompanies& companies, bool acknowledged);

// A lamp's tooltip lines: its fixed first line, then who fails and who warns on it.
QStringList lampTooltipLines(const QString& firstLine, Lamp lamp, const LampCompanies& companies);

// A lamp's state as a screen reader says it: "failing, 2 companies".
QString lampDescription(LampColour colour, Lamp lamp, const LampCompanies& companies,
                        bool acknowledged);

} // namespace courivane
