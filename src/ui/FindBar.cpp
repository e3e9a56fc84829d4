#include "ui/FindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace courivane {

FindBar::FindBar(QWidget* parent)
    : QWidget(parent), m_find(new QLineEdit(this)), m_count(new QLabel(this)),
      m_fileOrder(new QToolButton(this)), m_longest(new QToolButton(this)) {
    setObjectName(QStringLiteral("findBar"));
    m_find->setObjectName(QStringLiteral("findBox"));
    m_find->setPlaceholderText(QStringLiteral("Find a company (Ctrl+F)"));
    m_find->setClearButtonEnabled(true);
    m_find->setAccessibleName(QStringLiteral("Find a company"));
    m_find->installEventFilter(this);
    m_count->setObjectName(QStringLiteral("findCount"));
    m_count->setTextFormat(Qt::PlainText);
    m_fileOrder->setObjectName(QStringLiteral("fileOrder"));
    m_fileOrder->setText(QStringLiteral("File order"));
    m_fileOrder->setToolTip(QStringLiteral("Show the rows in the order of the accounts list; a "
                                           "click on a column head sorts by that column"));
    m_fileOrder->setEnabled(false);
    m_longest->setObjectName(QStringLiteral("longestTrouble"));
    m_longest->setText(QStringLiteral("Longest trouble first"));
    m_longest->setToolTip(QStringLiteral("Each section's rows by since when their trouble lasts, "
                                         "the oldest first"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_find, 1);
    layout->addWidget(m_count);
    layout->addWidget(m_longest);
    layout->addWidget(m_fileOrder);
    connect(m_find, &QLineEdit::textChanged, this, &FindBar::findChanged);
    connect(m_fileOrder, &QToolButton::clicked, this, &FindBar::fileOrderRequested);
    connect(m_longest, &QToolButton::clicked, this, &FindBar::longestTroubleRequested);
}

QString FindBar::text() const {
    return m_find->text();
}

void FindBar::focusFind() {
    m_find->setFocus(Qt::ShortcutFocusReason);
    m_find->selectAll();
}

void FindBar::showCount(int shown, int total) {
    m_count->setText(m_find->text().isEmpty() ? QString()
                                              : QStringLiteral("%1 of %2").arg(shown).arg(total));
}

void FindBar::setSorted(bool sorted) {
    m_fileOrder->setEnabled(sorted);
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
    // Escape empties the box, and every row shows again.
    if (watched == m_find && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && !m_find->text().isEmpty()) {
        m_find->clear();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace courivane
