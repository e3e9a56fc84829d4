#pragma once

#include "report/LampRules.h"

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

namespace courivane {

// The state of one service of one account, as one table cell.
enum class Verdict { Ok, Fail, Blank, Unknown, Warning, NoData };

// The word a verdict shows in its cell; Blank and NoData show none.
QString verdictText(Verdict verdict);

struct ServiceVerdict {
    Lamp service; // ICMP to Ryl; the lamp the verdict drives
    Verdict verdict;
    bool operator==(const ServiceVerdict&) const = default;
};

// What one reply says, before it reaches a row or a lamp.
struct Reply {
    bool failed = false; // no marker, or too short for its layout
    QString reason;
    QString updateText;             // the update time as the server sent it
    QDateTime updated;              // that time in local time; invalid when it did not parse
    bool stale = false;             // the time is unreadable, too old or in the future
    QList<ServiceVerdict> services; // in column order; Web only in the split layout
    // A certificate the fetch refused, in PEM: what the user may choose to trust.
    QByteArray certificate;
    QString certificateServer; // the server ("host:port") that showed it
};

// Row classes: where a row is filed on the page.
enum RowClass : int { RowOk = 1, RowWarning = 2, RowFailed = 3 };

// One account's row as a pass completed it.
struct AccountRow {
    QString company;
    QString logUrl;
    RowClass rowClass = RowOk;
    Reply reply;
    // The account's server and user as the accounts file has them: with the company, what
    // the history knows the account by.
    QString server;
    QString user;
    // Since when the row's worst current failure or warning has lasted, from the history;
    // invalid when it is well or nothing is known.
    QDateTime since;
    // What the alerts say of the company: flapping, acknowledged, snoozed; empty for none.
    QString alertNote;
};

// Every character that is not printable (controls, escape sequences, format and bidirectional
// characters) as U+FFFD, for text that reaches a terminal, a tooltip or a line-based reader.
QString printableText(const QString& text);
// Lines as a tooltip shows them: as text, never as markup, each made printable.
QString tooltipText(const QStringList& lines);

// Whether a service's state is not known: "3", or a value its service does not handle.
bool hasUnknown(const Reply& reply);

// The locale's short date, a space, and the time of day with seconds.
QString formatLocalTime(const QDateTime& local, const QLocale& locale = QLocale());

} // namespace courivane
