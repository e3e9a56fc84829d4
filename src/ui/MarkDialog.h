#pragma once

#include "report/AlertRules.h"

#include <QDateTime>
#include <QDialog>

class QComboBox;
class QDateTimeEdit;
class QDialogButtonBox;
class QLineEdit;

namespace courivane {

// Asks how to acknowledge a company's failures (a comment; until OK, for 1 or 4 hours or until
// a chosen time) or how long to snooze it (1 or 4 hours or until a chosen time). It does not
// block: `chosen` says what the operator chose, and a cancel says nothing.
class MarkDialog : public QDialog {
    Q_OBJECT
public:
    // `about` lists what is acknowledged or snoozed, one line each; `now` is when it opens.
    MarkDialog(MarkKind kind, const QString& company, const QStringList& about,
               const QDateTime& now, QWidget* parent = nullptr);

    // The end chosen, in UTC; invalid: until OK.
    QDateTime until(const QDateTime& now) const;
    QString comment() const;

signals:
    void chosen(courivane::MarkKind kind, const QString& company, const QString& comment,
                const QDateTime& until);

private:
    void check();

    MarkKind m_kind;
    QString m_company;
    QComboBox* m_end;
    QDateTimeEdit* m_time;
    QLineEdit* m_comment;
    QDialogButtonBox* m_buttons;
};

} // namespace courivane
