#include "ui/MarkDialog.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <span>

namespace courivane {

namespace {

// The ends a mark offers; a negative number of hours: the time in the box; 0: until OK.
struct EndChoice {
    const char* text;
    int hours;
};
constexpr EndChoice kAckEnds[] = {
    {"Until OK", 0}, {"For 1 hour", 1}, {"For 4 hours", 4}, {"Until the time below", -1}};
constexpr EndChoice kSnoozeEnds[] = {
    {"For 1 hour", 1}, {"For 4 hours", 4}, {"Until the time below", -1}};

std::span<const EndChoice> endsOf(MarkKind kind) {
    if (kind == MarkKind::Snoozed)
        return kSnoozeEnds;
    return kAckEnds;
}

} // namespace

MarkDialog::MarkDialog(MarkKind kind, const QString& company, const QStringList& about,
                       const QDateTime& now, QWidget* parent)
    : QDialog(parent), m_kind(kind), m_company(company), m_end(new QComboBox(this)),
      m_time(new QDateTimeEdit(now.toLocalTime().addSecs(3600), this)),
      m_comment(new QLineEdit(this)),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
    const bool snooze = kind == MarkKind::Snoozed;
    setObjectName(snooze ? QStringLiteral("SnoozeDialog") : QStringLiteral("AcknowledgeDialog"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle((snooze ? QStringLiteral("Snooze ") : QStringLiteral("Acknowledge ")) +
                   printableText(company));
    auto* form = new QFormLayout(this);
    auto* what = new QLabel(
        snooze ? QStringLiteral("While snoozed, the failures of %1 neither sound nor notify; "
                                "they stay on the page and the lamps.")
                     .arg(printableText(company))
               : QStringLiteral("Acknowledged:\n") + printableText(about.join(u'\n')),
        this);
    what->setTextFormat(Qt::PlainText);
    what->setWordWrap(true);
    form->addRow(what);
    m_end->setObjectName(QStringLiteral("end"));
    for (const EndChoice& end : endsOf(kind))
        m_end->addItem(QString::fromLatin1(end.text), end.hours);
    m_time->setObjectName(QStringLiteral("time"));
    m_time->setCalendarPopup(true);
    m_time->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
    m_comment->setObjectName(QStringLiteral("comment"));
    m_comment->setMaxLength(500);
    m_comment->setPlaceholderText(QStringLiteral("Optional: why, who, a ticket"));
    form->addRow(snooze ? QStringLiteral("Snooze:") : QStringLiteral("Ends:"), m_end);
    form->addRow(QStringLiteral("Time:"), m_time);
    form->addRow(QStringLiteral("Comment:"), m_comment);
    form->addRow(m_buttons);
    // Room for a comment and a long company name at any scale.
    setMinimumWidth(fontMetrics().averageCharWidth() * 56);
    setWindowFlag(Qt::WindowMinMaxButtonsHint, false);
    connect(m_end, &QComboBox::currentIndexChanged, this, &MarkDialog::check);
    connect(m_time, &QDateTimeEdit::dateTimeChanged, this, &MarkDialog::check);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_buttons, &QDialogButtonBox::accepted, this, [this] {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        // A chosen time that has passed meanwhile is no end at all.
        if (m_end->currentData().toInt() < 0 && until(now) <= now) {
            check();
            return;
        }
        emit chosen(m_kind, m_company, comment(), until(now));
        accept();
    });
    check();
}

QDateTime MarkDialog::until(const QDateTime& now) const {
    const int hours = m_end->currentData().toInt();
    if (hours > 0)
        return now.toUTC().addSecs(hours * 3600);
    if (hours < 0)
        return m_time->dateTime().toUTC();
    return {};
}

QString MarkDialog::comment() const {
    return m_comment->text().trimmed();
}

void MarkDialog::check() {
    const bool chosenTime = m_end->currentData().toInt() < 0;
    m_time->setEnabled(chosenTime);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(!chosenTime || until(now) > now);
}

} // namespace courivane
