#include "ui/RowActions.h"

#include "polling/FetchSecurity.h"
#include "report/Reply.h"
#include "ui/MessageBox.h"
#include "ui/PageView.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QSslCertificate>
#include <QToolTip>

namespace courivane {

RowActions::RowActions(PageView* view, QWidget* dialogParent)
    : QObject(view), m_view(view), m_dialogParent(dialogParent) {
    view->viewport()->installEventFilter(this);
}

QString RowActions::reasonAt(const QPoint& viewportPos) const {
    const AccountRow* row = m_view->rowAt(viewportPos);
    return row && row->reply.failed ? printableText(row->reply.reason) : QString();
}

bool RowActions::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_view->viewport())
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::ContextMenu: {
        const auto* menu = static_cast<QContextMenuEvent*>(event);
        if (const AccountRow* row = m_view->rowAt(menu->pos())) {
            showRowMenu(*row, menu->pos());
            return true;
        }
        break;
    }
    case QEvent::MouseButtonDblClick: {
        // A double-click on a row opens its company's history.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (const AccountRow* row = m_view->rowAt(mouse->position().toPoint())) {
            emit historyRequested(row->company);
            return true;
        }
        break;
    }
    case QEvent::ToolTip: {
        // Why a failed row failed; the page text stays as it is. Shown as text: a reason can
        // quote what a server sent.
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString reason = reasonAt(help->pos());
        if (reason.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(),
                               QStringLiteral("<p>") + reason.toHtmlEscaped() +
                                   QStringLiteral("</p>"),
                               m_view->viewport());
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void RowActions::showRowMenu(const AccountRow& row, const QPoint& viewportPos) {
    // Copied: the rows may be replaced while the menu is open.
    const QByteArray pem = row.reply.certificate;
    const QString server = row.reply.certificateServer;
    const QString name = row.company;
    QMenu menu(m_dialogParent);
    QAction* trust =
        pem.isEmpty() ? nullptr : menu.addAction(QStringLiteral("Trust this certificate..."));
    QAction* history = menu.addAction(QStringLiteral("History..."));
    menu.addSeparator();
    // What the company's alerts may become; an entry that cannot apply is greyed, not hidden.
    const bool acknowledged = m_marked.acknowledged.contains(name);
    const bool snoozed = m_marked.snoozed.contains(name);
    QAction* acknowledge = menu.addAction(QStringLiteral("Acknowledge..."));
    acknowledge->setEnabled(m_marked.failing.contains(name));
    QAction* unacknowledge = menu.addAction(QStringLiteral("End Acknowledgement"));
    unacknowledge->setEnabled(acknowledged);
    QAction* snooze =
        menu.addAction(snoozed ? QStringLiteral("Snooze Longer...") : QStringLiteral("Snooze..."));
    QAction* unsnooze = menu.addAction(QStringLiteral("End Snooze"));
    unsnooze->setEnabled(snoozed);
    QAction* chosen = menu.exec(m_view->viewport()->mapToGlobal(viewportPos));
    if (!chosen)
        return;
    if (chosen == history)
        emit historyRequested(name);
    else if (chosen == acknowledge)
        emit markRequested(MarkKind::Acknowledged, name);
    else if (chosen == snooze)
        emit markRequested(MarkKind::Snoozed, name);
    else if (chosen == unacknowledge)
        emit markEndRequested(MarkKind::Acknowledged, name);
    else if (chosen == unsnooze)
        emit markEndRequested(MarkKind::Snoozed, name);
    else if (chosen == trust)
        askTrust(pem, server, printableText(name));
}

void RowActions::askTrust(const QByteArray& pem, const QString& server, const QString& company) {
    const QSslCertificate certificate(pem, QSsl::Pem);
    const QString question =
        QStringLiteral("The server of %1 showed this certificate, which is not trusted:\n\n%2\n\n"
                       "Trust it from now on for https://%3 only? It is then trusted when this "
                       "server shows it, by its SHA-256 fingerprint, and never for another server "
                       "nor to vouch for other certificates. Only say yes if you know it is the "
                       "server's own.")
            .arg(company, certificateSummary(certificate).join(u'\n'), printableText(server));
    if (askQuestion(m_dialogParent, question))
        emit trustRequested(pem, server);
}

} // namespace courivane
