#pragma once

#include "report/LampRules.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>

namespace courivane {

// The state of one service of one account, as one table cell.
enum class Verdict { Ok, Fail, Blank, Unknown, Warning, NoData };

QString verdictCell(Verdict verdict);

inline const QString kErrorConnectingCell =
    QStringLiteral("<td align=center>Error Connecting!</td>");
inline const QByteArray kMarker = QByteArrayLiteral("RylStatus");

struct ServiceVerdict {
    Lamp service; // ICMP to Ryl; the lamp the verdict drives
    Verdict verdict;
    bool operator==(const ServiceVerdict&) const = default;
};

// What one reply says, before it reaches a row or a lamp.
struct Reply {
    bool failed = false; // no marker, or too short for its layout
    QString reason;
    QString lastUpdate;             // the Last Update cell's text
    QList<ServiceVerdict> services; // in column order; Web only in the split layout
};

// Bytes from the marker's first character that the layout needs: up to the end of the time.
qsizetype requiredReplyLength(int splitFlag);
// The marker's first occurrence in any letter case, searched from `from`; -1 when absent.
qsizetype findMarker(const QByteArray& data, qsizetype from = 0);
// True once the data holds the marker and the whole layout behind it.
bool replyComplete(const QByteArray& data, int splitFlag);

Reply interpretReply(const QByteArray& data, int splitFlag, const QLocale& locale = QLocale());
Reply failedReply(const QString& reason);

// The row class a reply gives when StatusSummary is "YES": 3 failed, 2 warning, 1 OK.
int rowClassOf(const Reply& reply);
// The cells a reply appends to its row, after the company cell.
QString rowCells(const Reply& reply, int splitFlag);
// Lamp states, failure lists and counters a reply changes.
void applyToLamps(LampResults& lamps, const QString& company, const Reply& reply);

// The 19-character update time, read as UTC: year first with "-", "/" or ".", or day and month
// in the order of the locale's short date. Invalid when it is no such time.
QDateTime parseUpdateTime(const QString& text, const QLocale& locale = QLocale());
// UTC to local time, with the zone's daylight-saving rule for that date.
QDateTime UTCtoLocal(const QDateTime& tDate);
// The locale's short date, a space, and the time of day with seconds.
QString formatLocalTime(const QDateTime& local, const QLocale& locale = QLocale());

} // namespace courivane
