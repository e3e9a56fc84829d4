#pragma once

#include "report/LampRules.h"
#include "report/Reply.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <utility>

namespace courivane {

// Who fails and who warns on each lamp after a pass, in file order, each company once.
struct LampCompanies {
    std::array<QStringList, kLampCount> failing;
    std::array<QStringList, kLampCount> warning;
    // Since when each company's oldest current trouble has lasted, where the history knows it,
    // and when the pass ended: the tooltips name both.
    QHash<QString, QDateTime> since;
    QDateTime at;
};
LampCompanies lampCompanies(const QList<AccountRow>& rows);

// What the tray icon shows: the worst lamp, or that no pass has ended yet.
enum class TrayState { Waiting, Green, Orange, Red };
TrayState trayState(const std::array<LampColour, kLampCount>& colours);

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

// The failures the user acknowledged. While it lasts, a pass whose failures are all among them
// plays no sound and shows no notice; it ends by itself when a failure appears that was not
// there, or when all of its failures have cleared. It lives in memory only.
class Acknowledgement {
public:
    // Acknowledges the failures present; with none, there is nothing to acknowledge.
    void acknowledge(const LampCompanies& present);
    bool active() const { return !m_failures.isEmpty(); }
    // Whether every failure on the lamp is acknowledged (false for a lamp without failures).
    bool covers(Lamp lamp, const LampCompanies& present) const;
    // The end of a pass with these failures: whether its alert stays silent.
    bool silences(const LampCompanies& present);

private:
    QSet<std::pair<int, QString>> m_failures;
};

} // namespace courivane
