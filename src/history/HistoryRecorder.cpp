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
        const SinceTimes since = m_store->openTrouble();
        const QString problem = m_store->problem();
        // So are the operator's acknowledgements and snoozes.
        QList<AlertMark> lasting = m_store->marks(QString(), QDateTime::currentDateTimeUtc());
        lasting.removeIf([](const AlertMark& m) { return m.ended.isValid(); });
        QMetaObject::invokeMethod(this, [this, since, problem, lasting] {
            emit marksLoaded(lasting);
            answer(since, problem);
        });
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
        const QString problem = m_store->problem();
        QMetaObject::invokeMethod(this, [this, since, problem] { answer(since, problem); });
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

void HistoryRecorder::answer(const SinceTimes& since, const QString& problem) {
    if (since == m_since && problem == m_problem)
        return;
    m_since = since;
    m_problem = problem;
    emit updated();
}

void HistoryRecorder::annotate(QList<AccountRow>& rows) const {
    if (m_since.isEmpty())
        return;
    for (AccountRow& row : rows)
        row.since = m_since.value({row.company, row.server, row.user});
}

} // namespace courivane
