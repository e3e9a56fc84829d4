#pragma once

#include "history/HistoryStore.h"

#include <QHash>
#include <QObject>
#include <QThread>

#include <memory>

namespace courivane {

// Since when each troubled account's trouble has lasted, as the history holds it.
using SinceTimes = QHash<AccountKey, QDateTime>;

// What the history says back after it opened or recorded a pass. Made on the history's thread:
// at tens of thousands of accounts the tables cost the thread that shows the lamps too much.
struct HistoryAnswer {
    SinceTimes since;
    // Per company, the oldest of its accounts' times.
    QHash<QString, QDateTime> companies;
    QString problem;
};

// The history on a thread of its own: a pass is handed over and recorded there, and what the
// window needs back (since when each troubled account's trouble lasts, and why history is off
// or paused) comes back as a signal. The thread that shows the lamps never waits for the file.
class HistoryRecorder : public QObject {
    Q_OBJECT
public:
    HistoryRecorder(QString path, int keepDays, QObject* parent = nullptr);
    // Whatever was handed over is recorded before the store closes.
    ~HistoryRecorder() override;

    void record(const QList<AccountRow>& rows, const QDateTime& started, const QDateTime& ended);
    // What the last answer said: empty while the history records.
    const QString& problem() const { return m_answer.problem; }
    const SinceTimes& since() const { return m_answer.since; }
    const QHash<QString, QDateTime>& companySince() const { return m_answer.companies; }
    // Every row's `since` from the last answer (none: invalid).
    void annotate(QList<AccountRow>& rows) const;
    // The outages that began at `since` or later and have ended, answered by `cleared`.
    void askCleared(const QDateTime& since);
    // A company's history, answered by `companyHistory`.
    void askCompany(const QString& company);
    // An acknowledgement or a snooze, new or ended, kept.
    void saveMark(const AlertMark& mark);

signals:
    // The store opened, or a pass was recorded: `since()` and `problem()` are new.
    void updated();
    void cleared(const QList<courivane::Outage>& outages, const QDateTime& since);
    void companyHistory(const courivane::CompanyHistory& history);
    // The acknowledgements and snoozes that last, once, when the store has opened (none when
    // there is no history).
    void marksLoaded(const QList<courivane::AlertMark>& marks);

private:
    // On the history's thread: says what is new since the last answer, if anything is.
    void answer(SinceTimes since);

    QThread m_thread;
    QObject* m_worker; // lives on the thread; the store is made, used and closed there
    std::unique_ptr<HistoryStore> m_store;
    HistoryAnswer m_sent; // the history's thread's copy of the last answer
    HistoryAnswer m_answer;
};

} // namespace courivane
