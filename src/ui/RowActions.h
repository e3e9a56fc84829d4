#pragma once

#include "report/AlertRules.h"
#include "report/SummaryPage.h"

#include <QHash>
#include <QObject>
#include <QSet>

class QWidget;

namespace courivane {

class PageView;

// What a row's menu offers: which companies fail now, which are acknowledged, snoozed.
struct MarkedCompanies {
    QHash<QString, quint32> failing; // with its failing lamps
    QSet<QString> acknowledged;
    QSet<QString> snoozed;
};

// What the operator does with a row of the page: its failure's reason as the tooltip, its
// menu (trust the certificate its server was refused for, history, acknowledge, snooze), and
// its history on a double-click. The row is the page model's, found by where it was laid out.
class RowActions : public QObject {
    Q_OBJECT
public:
    RowActions(PageView* view, QWidget* dialogParent);

    void setMarkedCompanies(MarkedCompanies companies) { m_marked = std::move(companies); }

signals:
    // The user chose to trust the certificate a row's server was refused for (PEM).
    void trustRequested(const QByteArray& certificate, const QString& server);
    void historyRequested(const QString& company);
    void markRequested(courivane::MarkKind kind, const QString& company);
    void markEndRequested(courivane::MarkKind kind, const QString& company);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The reason of the failed row under the pointer, or an empty string.
    QString reasonAt(const QPoint& viewportPos) const;
    void showRowMenu(const AccountRow& row, const QPoint& viewportPos);
    void askTrust(const QByteArray& pem, const QString& server, const QString& company);

    PageView* const m_view;
    QWidget* const m_dialogParent;
    MarkedCompanies m_marked;
};

} // namespace courivane
