#include "history/HistoryRecorder.h"

namespace courivane {

HistoryRecorder::HistoryRecorder(QString path, int keepDays, QObject* parent)
    : QObject(parent), m_worker(new QObject) {
    m_thread.setObjectName(QStringLiteral("history"));
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start(QThread::LowPriority);
    QMetaObject::invokeMethod(m_worker, [this, path = std::move(path), keepDays] {
        m_store = std::make_unique<HistoryStore>(path, keepDays);
        // What lasted when the monitor stopped still lasts as far as anyone knows.
        SinceTimes since = m_store->openTrouble();
        // So are the operator's acknowledgements and snoozes.
        QList<AlertMark> lasting = m_store->marks(QString(), QDateTime::currentDateTimeUtc());
        lasting.removeIf([](const AlertMark& m) { return m.ended.isValid(); });
        QMetaObject::invokeMethod(this, [this, lasting] { emit marksLoaded(lasting); });
        answer(std::move(since));
    });
}

void HistoryRecorder::saveMark(const AlertMark& mark) {
    QMetaObject::invokeMethod(m_worker, [this, mark] {
        if (m_store && m_store->isOn())
            m_store->saveMark(mark);
    });
}

HistoryRecorder::~HistoryRecorder() {
    QMetaObject::invokeMethod(m_worker, [this] {
        m_store.reset();
        m_thread.quit();
    });
    m_thread.wait();
}

void HistoryRecorder::record(const QList<AccountRow>& rows, const QDateTime& started,
                             const QDateTime& ended) {
    QMetaObject::invokeMethod(m_worker, [this, rows, started, ended] {
        if (!m_store)
            return;
        m_store->record(rows, started, ended);
        SinceTimes since;
        for (const AccountRow& row : rows) {
            const AccountKey key{row.company, row.server, row.user};
            if (const QDateTime began = m_store->since(key); began.isValid())
                since.insert(key, began);
        }
        answer(std::move(since));
    });
}

void HistoryRecorder::askCleared(const QDateTime& since) {
    QMetaObject::invokeMethod(m_worker, [this, since] {
        QList<Outage> ended;
        if (m_store)
            for (const Outage& o : m_store->outages(QString(), since))
                if (o.start >= since && o.end.isValid())
                    ended << o;
        QMetaObject::invokeMethod(this, [this, ended, since] { emit cleared(ended, since); });
    });
}

void HistoryRecorder::askCompany(const QString& company) {
    QMetaObject::invokeMethod(m_worker, [this, company] {
        CompanyHistory history;
        history.company = company;
        history.now = QDateTime::currentDateTimeUtc();
        if (m_store)
            history = m_store->companyHistory(company, history.now);
        QMetaObject::invokeMethod(this, [this, history] { emit companyHistory(history); });
    });
}

void HistoryRecorder::answer(SinceTimes since) {
    const QString problem = m_store->problem();
    if (since == m_sent.since && problem == m_sent.problem)
        return;
    HistoryAnswer said{std::move(since), {}, problem};
    for (auto it = said.since.cbegin(); it != said.since.cend(); ++it) {
        QDateTime& oldest = said.companies[it.key().company];
        if (!oldest.isValid() || it.value() < oldest)
            oldest = it.value();
    }
    m_sent = said;
    QMetaObject::invokeMethod(this, [this, said = std::move(said)] {
        m_answer = said;
        emit updated();
    });
}

void HistoryRecorder::annotate(QList<AccountRow>& rows) const {
    const bool none = m_answer.since.isEmpty();
    for (AccountRow& row : rows)
        row.since = none ? QDateTime() : m_answer.since.value({row.company, row.server, row.user});
}

} // namespace courivane
