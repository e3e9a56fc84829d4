#include "ui/HistoryWindow.h"

#include "ui/MessageBox.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

namespace courivane {

namespace {

// How a state looks on a strip: a colour and a pattern over it.
std::pair<QColor, Qt::BrushStyle> lookOf(Seen seen) {
    switch (seen) {
    case Seen::Ok:
    case Seen::Reached:
        return {QColor(0x33, 0xcc, 0x55), Qt::SolidPattern};
    case Seen::Failed:
    case Seen::Unreachable:
        return {QColor(0xee, 0x33, 0x33), Qt::DiagCrossPattern};
    case Seen::NotMonitored:
        return {QColor(0xdd, 0xdd, 0xdd), Qt::SolidPattern};
    case Seen::Warning:
    case Seen::Unknown:
    case Seen::Stale:
        break;
    }
    return {QColor(0xff, 0x99, 0x00), Qt::Dense5Pattern};
}

// One strip: the states of a slot from `from` to `to`, hatched grey where the monitor did not
// run.
class Strip : public QWidget {
public:
    Strip(const CompanyHistory& history, const CompanyHistory::Line& line, qint64 from, qint64 to,
          QWidget* parent)
        : QWidget(parent), m_history(history), m_line(line), m_from(from), m_to(to) {
        setMinimumSize(160, 14);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QRect r = rect().adjusted(0, 0, -1, -1);
        p.fillRect(r, QColor(0xf4, 0xf4, 0xf4));
        p.fillRect(r, QBrush(QColor(0x99, 0x99, 0x99), Qt::BDiagPattern));
        const auto x = [&](qint64 t) {
            return r.left() + int(double(t - m_from) * r.width() / double(m_to - m_from));
        };
        for (const Segment& s : m_line.segments)
            for (const auto& [a, b] : m_history.running) {
                const qint64 lo = std::max({s.from, a, m_from});
                const qint64 hi = std::min({s.to, b, m_to});
                if (hi <= lo)
                    continue;
                const QRect span(x(lo), r.top(), std::max(1, x(hi) - x(lo)), r.height());
                const auto [colour, pattern] = lookOf(s.seen);
                p.fillRect(span, colour);
                if (pattern != Qt::SolidPattern)
                    p.fillRect(span, QBrush(Qt::black, pattern));
            }
        p.setPen(QColor(0x66, 0x66, 0x66));
        p.drawRect(r);
    }

private:
    const CompanyHistory& m_history;
    const CompanyHistory::Line& m_line;
    qint64 m_from;
    qint64 m_to;
};

QString slotName(int slot) {
    return QLatin1String(slot == kFetchSlot ? "Connection" : lampNames(Lamp(slot)).column);
}

QString shareText(const std::optional<double>& share) {
    return share ? QStringLiteral("%1 %").arg(*share * 100, 0, 'f', 1) : QStringLiteral("-");
}

QString durationText(qint64 seconds) {
    if (seconds >= 86400)
        return QStringLiteral("%1 d %2 h").arg(seconds / 86400).arg(seconds / 3600 % 24);
    if (seconds >= 3600)
        return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds / 60 % 60);
    return QStringLiteral("%1 min").arg(seconds / 60);
}

} // namespace

HistoryWindow::HistoryWindow(const CompanyHistory& history, QWidget* parent)
    : QWidget(parent, Qt::Window), m_history(history) {
    setObjectName(QStringLiteral("History"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("History of %1").arg(printableText(history.company)));
    auto* layout = new QVBoxLayout(this);

    auto* grid = new QGridLayout;
    const QStringList heads{QStringLiteral("Service"),     QStringLiteral("Last 24 hours"),
                            QStringLiteral("Last 7 days"), QStringLiteral("OK 24 h"),
                            QStringLiteral("OK 7 d"),      QStringLiteral("OK 30 d")};
    for (int c = 0; c < heads.size(); ++c) {
        auto* head = new QLabel(QStringLiteral("<b>%1</b>").arg(heads.at(c)), this);
        grid->addWidget(head, 0, c);
    }
    const qint64 now = history.now.toMSecsSinceEpoch();
    const bool several = std::any_of(
        history.lines.cbegin(), history.lines.cend(),
        [&](const CompanyHistory::Line& l) { return l.account != history.lines.first().account; });
    int row = 1;
    for (const CompanyHistory::Line& line : m_history.lines) {
        QString name = slotName(line.slot);
        if (several)
            name += QStringLiteral(" (%1, %2)")
                        .arg(printableText(line.account.server), printableText(line.account.user));
        auto* label = new QLabel(this);
        label->setTextFormat(Qt::PlainText);
        label->setText(name);
        grid->addWidget(label, row, 0);
        grid->addWidget(new Strip(m_history, line, now - 86400000LL, now, this), row, 1);
        grid->addWidget(new Strip(m_history, line, now - 7 * 86400000LL, now, this), row, 2);
        for (int i = 0; i < 3; ++i)
            grid->addWidget(new QLabel(shareText(line.uptime[size_t(i)]), this), row, 3 + i);
        ++row;
    }
    if (m_history.lines.isEmpty())
        grid->addWidget(new QLabel(QStringLiteral("Nothing recorded for this company yet."), this),
                        1, 0, 1, 6);
    layout->addLayout(grid);
    auto* legend = new QLabel(
        QStringLiteral("Green: OK. Red, crossed: failed or unreachable. Orange, dotted: a warning, "
                       "a state not known or a stale status. Grey, hatched: the monitor was not "
                       "running."),
        this);
    legend->setWordWrap(true);
    layout->addWidget(legend);

    auto* outages = new QTableWidget(int(m_history.outages.size()), 5, this);
    outages->setObjectName(QStringLiteral("outages"));
    outages->setHorizontalHeaderLabels({QStringLiteral("Service"), QStringLiteral("Start"),
                                        QStringLiteral("End"), QStringLiteral("Duration"),
                                        QStringLiteral("Reason")});
    outages->verticalHeader()->hide();
    outages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    outages->horizontalHeader()->setStretchLastSection(true);
    for (int i = 0; i < m_history.outages.size(); ++i) {
        const Outage& o = m_history.outages.at(i);
        const QDateTime end = o.end.isValid() ? o.end : history.now;
        const QStringList cells{slotName(o.slot), formatLocalTime(o.start.toLocalTime()),
                                o.end.isValid() ? formatLocalTime(o.end.toLocalTime())
                                                : QStringLiteral("ongoing"),
                                durationText(o.start.secsTo(end)), printableText(o.reason)};
        for (int c = 0; c < cells.size(); ++c)
            outages->setItem(i, c, new QTableWidgetItem(cells.at(c)));
    }
    outages->resizeColumnsToContents();
    layout->addWidget(new QLabel(QStringLiteral("<b>Outages of the last 30 days</b>"), this));
    layout->addWidget(outages, 1);

    // What the operator acknowledged and snoozed, and how each ended.
    if (!m_history.marks.isEmpty()) {
        auto* marks = new QListWidget(this);
        marks->setObjectName(QStringLiteral("marks"));
        for (const AlertMark& mark : std::as_const(m_history.marks))
            marks->addItem(markText(mark, history.now));
        marks->setMaximumHeight(marks->sizeHintForRow(0) * 4 + 2 * marks->frameWidth());
        layout->addWidget(new QLabel(QStringLiteral("<b>Acknowledgements and snoozes</b>"), this));
        layout->addWidget(marks);
    }

    auto* exportButton = new QPushButton(QStringLiteral("Export CSV..."), this);
    exportButton->setObjectName(QStringLiteral("exportCsv"));
    connect(exportButton, &QPushButton::clicked, this, &HistoryWindow::exportCsv);
    layout->addWidget(exportButton, 0, Qt::AlignRight);
    // Never larger than the screen, where a high scale leaves little room.
    QSize size(900, 520);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect room = screen->availableGeometry();
        size = size.boundedTo(room.size() * 9 / 10);
        move(room.center() - QPoint(size.width() / 2, size.height() / 2));
    }
    resize(size);
}

void HistoryWindow::exportCsv() {
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export the outages"),
        QStringLiteral("%1-outages.csv").arg(printableText(m_history.company)),
        QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    const QByteArray bytes = outagesCsv(m_history.outages, m_history.now).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        showMessage(this,
                    QStringLiteral("%1 could not be written: %2").arg(path, file.errorString()));
}

} // namespace courivane
