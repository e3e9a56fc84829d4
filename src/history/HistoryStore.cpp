#include "history/HistoryStore.h"

#include "report/LampCompanies.h"
#include "report/Severity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace courivane {

namespace {

// SQLite's result codes, as Qt SQL hands them on.
const QString kCorrupt = QStringLiteral("11");
const QString kFull = QStringLiteral("13");
const QString kNotADatabase = QStringLiteral("26");

bool isDamage(const QSqlError& error) {
    return error.nativeErrorCode() == kCorrupt || error.nativeErrorCode() == kNotADatabase;
}

Seen seenOfSeverity(Severity severity) {
    switch (severity) {
    case Severity::Blank:
        return Seen::NotMonitored;
    case Severity::Ok:
        return Seen::Ok;
    case Severity::Warning:
        return Seen::Warning;
    case Severity::Unknown:
        return Seen::Unknown;
    case Severity::Fail:
        break;
    }
    return Seen::Failed;
}

bool lasts(Seen seen) {
    return seen != Seen::Ok && seen != Seen::Reached && seen != Seen::NotMonitored;
}

const char* const kSchema[] = {
    "CREATE TABLE accounts(id INTEGER PRIMARY KEY, company TEXT NOT NULL, server TEXT NOT NULL, "
    "user TEXT NOT NULL, UNIQUE(company, server, user))",
    // One line a state an account's slot held, from the pass that first saw it to the pass that
    // saw it change (NULL while it lasts); times in milliseconds since 1970, UTC.
    "CREATE TABLE states(account INTEGER NOT NULL REFERENCES accounts(id), slot INTEGER NOT NULL, "
    "seen INTEGER NOT NULL, reason TEXT, since INTEGER NOT NULL, until INTEGER)",
    "CREATE INDEX states_open ON states(account, slot) WHERE until IS NULL",
    "CREATE INDEX states_until ON states(until)",
    "CREATE INDEX states_account ON states(account, since)",
    "CREATE TABLE passes(started INTEGER NOT NULL, ended INTEGER NOT NULL, accounts INTEGER NOT "
    "NULL)",
    "CREATE INDEX passes_ended ON passes(ended)",
};

// Version 2: the operator's acknowledgements and snoozes, named by kind, company and start.
const char* const kMarksSchema[] = {
    "CREATE TABLE marks(kind INTEGER NOT NULL, company TEXT NOT NULL, lamps INTEGER NOT NULL, "
    "comment TEXT NOT NULL, since INTEGER NOT NULL, until INTEGER, ended INTEGER, ended_why "
    "TEXT, PRIMARY KEY(kind, company, since))",
    "CREATE INDEX marks_ended ON marks(ended)",
};

QVariant msOrNull(const QDateTime& t) {
    return t.isValid() ? QVariant(t.toMSecsSinceEpoch()) : QVariant(QMetaType(QMetaType::LongLong));
}
QDateTime utcOrInvalid(const QVariant& v) {
    return v.isNull() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(v.toLongLong(), Qt::UTC);
}

} // namespace

namespace {
QString csvField(const QString& text) {
    QString field = printableText(text);
    if (!field.isEmpty() && QStringLiteral("=+-@").contains(field.front()))
        field.prepend(u'\'');
    if (field.contains(u',') || field.contains(u'"') || field.contains(u'\''))
        field = u'"' + field.replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"';
    return field;
}
QString isoUtc(const QDateTime& t) {
    return t.toUTC().toString(Qt::ISODate);
}
} // namespace

QList<std::pair<qint64, qint64>> runningTimes(const QList<std::pair<qint64, qint64>>& passes,
                                              qint64 cycleMs) {
    QList<std::pair<qint64, qint64>> running;
    for (qsizetype i = 0; i < passes.size(); ++i) {
        const auto [started, ended] = passes.at(i);
        qint64 until = std::max(started, ended) + cycleMs;
        if (i + 1 < passes.size())
            until = std::min(until, std::max(passes.at(i + 1).first, ended));
        if (!running.isEmpty() && started <= running.last().second)
            running.last().second = std::max(running.last().second, until);
        else
            running.append({started, until});
    }
    return running;
}

std::optional<double> uptimeShare(const QList<Segment>& segments,
                                  const QList<std::pair<qint64, qint64>>& running, qint64 from,
                                  qint64 to) {
    qint64 ok = 0;
    qint64 known = 0;
    for (const Segment& s : segments) {
        if (s.seen == Seen::NotMonitored)
            continue;
        const bool isOk = s.seen == Seen::Ok || s.seen == Seen::Reached;
        for (const auto& [a, b] : running) {
            const qint64 lo = std::max({s.from, a, from});
            const qint64 hi = std::min({s.to, b, to});
            if (hi <= lo)
                continue;
            known += hi - lo;
            if (isOk)
                ok += hi - lo;
        }
    }
    if (known == 0)
        return std::nullopt;
    return double(ok) / double(known);
}

QString outageText(const Outage& outage, const QDateTime& now) {
    const auto at = [&now](const QDateTime& t) {
        const QDateTime local = t.toLocalTime();
        return local.toString(local.date() == now.toLocalTime().date()
                                  ? QStringLiteral("HH:mm")
                                  : QStringLiteral("d MMM HH:mm"));
    };
    const QString what = outage.slot == kFetchSlot
                             ? QStringLiteral("unreachable")
                             : QLatin1String(lampNames(static_cast<Lamp>(outage.slot)).column) +
                                   QStringLiteral(" failed");
    return printableText(outage.account.company) + u' ' + what + u' ' + at(outage.start) + u'-' +
           (outage.end.isValid() ? at(outage.end) : QStringLiteral("now"));
}

QString whileAwayText(const QList<Outage>& cleared, const QDateTime& since, const QDateTime& now,
                      int most) {
    if (cleared.isEmpty())
        return {};
    QStringList all;
    for (const Outage& outage : cleared)
        all << outageText(outage, now);
    return QStringLiteral("While away (since %1): ")
               .arg(since.toLocalTime().toString(QStringLiteral("HH:mm"))) +
           namesList(all, most, QStringLiteral("; "));
}

QString outagesCsv(const QList<Outage>& outages, const QDateTime& now) {
    QString csv = QStringLiteral("company,service,start,end,duration_seconds,reason\r\n");
    for (const Outage& o : outages) {
        const QDateTime end = o.end.isValid() ? o.end : now;
        csv += csvField(o.account.company) + u',' +
               QLatin1String(lampNames(static_cast<Lamp>(o.slot)).perf) + u',' + isoUtc(o.start) +
               u',' + (o.end.isValid() ? isoUtc(o.end) : QString()) + u',' +
               QString::number(std::max<qint64>(0, o.start.secsTo(end))) + u',' +
               csvField(o.reason) + QStringLiteral("\r\n");
    }
    return csv;
}

size_t qHash(const AccountKey& key, size_t seed) {
    return qHashMulti(seed, key.company, key.server, key.user);
}

std::array<std::optional<Seen>, kHistorySlots> seenOf(const Reply& reply) {
    std::array<std::optional<Seen>, kHistorySlots> seen{};
    seen[kFetchSlot] = reply.failed ? Seen::Unreachable : Seen::Reached;
    if (reply.failed)
        return seen;
    for (const ServiceSeverity& s : serviceSeverities(reply)) {
        Seen state = seenOfSeverity(s.severity);
        // A stale status is its own state of the Ryl service, unless it failed outright.
        if (s.service == RylLamp && reply.stale && state != Seen::Failed)
            state = Seen::Stale;
        seen[s.service] = state;
    }
    return seen;
}

HistoryStore::HistoryStore(QString path, int keepDays, Mode mode)
    : m_path(std::move(path)), m_keepDays(keepDays) {
    if (m_keepDays <= 0) {
        m_problem = QStringLiteral("history is off (--history-days 0)");
        return;
    }
    if (!open(mode) && mode == Mode::Monitor && m_problem.isEmpty())
        m_problem = QStringLiteral("history is off");
}

HistoryStore::~HistoryStore() {
    close();
}

void HistoryStore::close() {
    if (m_db) {
        m_db->close();
        m_db.reset();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool HistoryStore::exec(const QString& sql) {
    QSqlQuery query(*m_db);
    return query.exec(sql);
}

bool HistoryStore::open(Mode mode) {
    const QFileInfo file(m_path);
    if (mode == Mode::ReadOnly && !file.exists()) {
        m_problem = QStringLiteral("%1 does not exist: the monitor has recorded no history here")
                        .arg(m_path);
        return false;
    }
    if (mode == Mode::Monitor && !claimFile(file))
        return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        QString damage;
        switch (openDatabase(mode, &damage)) {
        case Opening::Open:
            return true;
        case Opening::Refused:
            return false;
        case Opening::Damaged:
            // Damaged or no database at all: kept aside, never deleted, and a new one begun.
            moveAside(damage);
        }
    }
    return false;
}

bool HistoryStore::claimFile(const QFileInfo& file) {
    // One monitor records into a directory's history; a second one monitors without it.
    QDir().mkpath(file.absolutePath());
    m_lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        m_problem =
            m_lock->error() == QLockFile::LockFailedError
                ? QStringLiteral("history is off: another monitor records into %1").arg(m_path)
                : QStringLiteral("history is off: %1 cannot be locked").arg(m_path);
        m_lock.reset();
        return false;
    }
    // Private from its first byte, as the configuration is.
    if (!file.exists()) {
        QFile created(m_path);
        if (!created.open(QIODevice::WriteOnly) ||
            !created.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
            m_problem = QStringLiteral("history is off: %1 cannot be created (%2)")
                            .arg(m_path, created.errorString());
            return false;
        }
    }
    return true;
}

HistoryStore::Opening HistoryStore::openDatabase(Mode mode, QString* damage) {
    m_connection = QStringLiteral("courivane-history-") + QUuid::createUuid().toString();
    m_db = std::make_unique<QSqlDatabase>(
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection));
    m_db->setDatabaseName(m_path);
    m_db->setConnectOptions(mode == Mode::ReadOnly
                                ? QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000")
                                : QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    const auto refuse = [this](const QString& problem) {
        m_problem = problem;
        close();
        return Opening::Refused;
    };
    if (!m_db->open())
        return refuse(QStringLiteral("history is off: %1 cannot be opened (%2)")
                          .arg(m_path, m_db->lastError().text()));
    QSqlQuery version(*m_db);
    if (version.exec(QStringLiteral("PRAGMA user_version")) && version.next()) {
        const int found = version.value(0).toInt();
        version.finish(); // the journal's mode changes only with no statement under way
        if (found > kSchemaVersion)
            return refuse(
                QStringLiteral("history is off: %1 was written by a newer Courivane (schema %2)")
                    .arg(m_path)
                    .arg(found));
        if (mode == Mode::ReadOnly || prepareSchema()) {
            QSqlQuery check(*m_db);
            if (check.exec(QStringLiteral("SELECT count(*) FROM states WHERE until IS NULL"))) {
                if (mode == Mode::Monitor)
                    loadOpenStates();
                return Opening::Open;
            }
            if (!isDamage(check.lastError()))
                return refuse(QStringLiteral("history is off: %1 (%2)")
                                  .arg(m_path, check.lastError().text()));
        }
    }
    const QSqlError error = version.lastError().isValid() ? version.lastError() : m_db->lastError();
    if (mode == Mode::ReadOnly || !isDamage(error))
        return refuse(QStringLiteral("history is off: %1 (%2)").arg(m_path, error.text()));
    close();
    *damage = error.text();
    return Opening::Damaged;
}

void HistoryStore::moveAside(const QString& why) {
    const QString aside = m_path + QStringLiteral(".damaged-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        if (QFileInfo::exists(m_path + suffix))
            QFile::rename(m_path + suffix, aside + suffix);
    QFile created(m_path);
    if (created.open(QIODevice::WriteOnly))
        created.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    m_problem = QStringLiteral("%1 was damaged (%2): kept as %3, a new history begun")
                    .arg(m_path, why, aside);
}

bool HistoryStore::prepareSchema() {
    // Written ahead, so that a kill at any moment loses at most the pass under way.
    exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    QSqlQuery version(*m_db);
    if (!version.exec(QStringLiteral("PRAGMA user_version")) || !version.next())
        return false;
    const int found = version.value(0).toInt();
    version.finish();
    if (found == kSchemaVersion)
        return true;
    // From nothing to the current schema; later versions add their steps after this one.
    if (!m_db->transaction())
        return false;
    bool ok = true;
    if (found < 1)
        for (const char* statement : kSchema)
            ok = ok && exec(QString::fromLatin1(statement));
    if (found < 2)
        for (const char* statement : kMarksSchema)
            ok = ok && exec(QString::fromLatin1(statement));
    ok = ok && exec(QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion));
    if (!ok) {
        m_db->rollback();
        return false;
    }
    return m_db->commit();
}

void HistoryStore::loadOpenStates() {
    QSqlQuery accounts(*m_db);
    accounts.setForwardOnly(true);
    if (accounts.exec(QStringLiteral("SELECT id, company, server, user FROM accounts")))
        while (accounts.next())
            m_ids.insert({accounts.value(1).toString(), accounts.value(2).toString(),
                          accounts.value(3).toString()},
                         accounts.value(0).toLongLong());
    QSqlQuery open(*m_db);
    open.setForwardOnly(true);
    if (open.exec(
            QStringLiteral("SELECT account, slot, seen, since FROM states WHERE until IS NULL")))
        while (open.next()) {
            const int slot = open.value(1).toInt();
            if (slot >= 0 && slot < kHistorySlots)
                m_open[open.value(0).toLongLong()][size_t(slot)] =
                    Open{Seen(open.value(2).toInt()), open.value(3).toLongLong()};
        }
}

std::optional<qint64> HistoryStore::accountId(const AccountKey& key) {
    if (const auto known = m_ids.constFind(key); known != m_ids.cend())
        return *known;
    QSqlQuery insert(*m_db);
    insert.prepare(QStringLiteral("INSERT INTO accounts(company, server, user) VALUES(?, ?, ?)"));
    insert.addBindValue(key.company);
    insert.addBindValue(key.server);
    insert.addBindValue(key.user);
    if (!insert.exec())
        return std::nullopt;
    const qint64 id = insert.lastInsertId().toLongLong();
    m_ids.insert(key, id);
    return id;
}

bool HistoryStore::record(const QList<AccountRow>& rows, const QDateTime& started,
                          const QDateTime& ended) {
    if (!m_db)
        return false;
    const qint64 at = started.toMSecsSinceEpoch();
    if (!m_db->transaction()) {
        m_problem = QStringLiteral("history paused: %1").arg(m_db->lastError().text());
        return false;
    }
    // What changes is applied to the memory only once the file has it.
    const QHash<AccountKey, qint64> idsBefore = m_ids;
    QList<std::pair<qint64, std::pair<int, Open>>> changed;
    bool ok = true;
    QSqlQuery pass(*m_db);
    pass.prepare(QStringLiteral("INSERT INTO passes(started, ended, accounts) VALUES(?, ?, ?)"));
    pass.addBindValue(at);
    pass.addBindValue(ended.toMSecsSinceEpoch());
    pass.addBindValue(rows.size());
    ok = pass.exec();
    QSqlQuery closeOld(*m_db);
    closeOld.prepare(QStringLiteral(
        "UPDATE states SET until = ? WHERE account = ? AND slot = ? AND until IS NULL"));
    QSqlQuery openNew(*m_db);
    openNew.prepare(QStringLiteral(
        "INSERT INTO states(account, slot, seen, reason, since) VALUES(?, ?, ?, ?, ?)"));
    QSqlError error = pass.lastError();
    for (const AccountRow& row : rows) {
        if (!ok)
            break;
        const std::array<std::optional<Seen>, kHistorySlots> seen = seenOf(row.reply);
        const std::optional<qint64> id = accountId({row.company, row.server, row.user});
        if (!id) {
            ok = false;
            error = m_db->lastError();
            break;
        }
        const auto known = m_open.constFind(*id);
        for (int slot = 0; slot < kHistorySlots && ok; ++slot) {
            if (!seen[size_t(slot)])
                continue;
            const std::optional<Open>& before =
                known == m_open.cend() ? std::nullopt : (*known)[size_t(slot)];
            if (before && before->seen == *seen[size_t(slot)])
                continue;
            if (before) {
                closeOld.bindValue(0, at);
                closeOld.bindValue(1, *id);
                closeOld.bindValue(2, slot);
                ok = closeOld.exec();
                error = closeOld.lastError();
            }
            if (!ok)
                break;
            openNew.bindValue(0, *id);
            openNew.bindValue(1, slot);
            openNew.bindValue(2, int(*seen[size_t(slot)]));
            openNew.bindValue(3, slot == kFetchSlot && row.reply.failed ? row.reply.reason
                                                                        : QString());
            openNew.bindValue(4, at);
            ok = openNew.exec();
            error = openNew.lastError();
            changed.append({*id, {slot, Open{*seen[size_t(slot)], at}}});
        }
    }
    if (!ok || !m_db->commit()) {
        if (ok)
            error = m_db->lastError();
        m_db->rollback();
        m_ids = idsBefore;
        m_problem = error.nativeErrorCode() == kFull
                        ? QStringLiteral("history paused: the disk is full")
                        : QStringLiteral("history paused: %1").arg(error.text());
        return false;
    }
    for (const auto& [id, change] : changed)
        m_open[id][size_t(change.first)] = change.second;
    m_problem.clear();
    // What is older than the days kept goes, now and then, in the pass's own time.
    if (at - m_lastPrune > 3600 * 1000)
        prune(ended);
    return true;
}

CompanyHistory HistoryStore::companyHistory(const QString& company, const QDateTime& now) const {
    CompanyHistory history;
    history.company = company;
    history.now = now;
    if (!m_db)
        return history;
    const qint64 to = now.toMSecsSinceEpoch();
    const qint64 from = now.addDays(-kUptimeDays.back()).toMSecsSinceEpoch();
    QSqlQuery passes(*m_db);
    passes.setForwardOnly(true);
    passes.prepare(
        QStringLiteral("SELECT started, ended FROM passes WHERE ended >= ? ORDER BY started"));
    passes.addBindValue(from);
    QList<std::pair<qint64, qint64>> ran;
    if (passes.exec())
        while (passes.next())
            ran.append({passes.value(0).toLongLong(), passes.value(1).toLongLong()});
    // A pass every 31 s after the last ended, with room for a slow one.
    history.running = runningTimes(ran, 2 * 61 * 1000);
    QSqlQuery states(*m_db);
    states.setForwardOnly(true);
    states.prepare(QStringLiteral(
        "SELECT a.server, a.user, s.slot, s.seen, s.since, s.until FROM accounts a JOIN states s "
        "ON s.account = a.id WHERE a.company = ? AND (s.until IS NULL OR s.until >= ?) ORDER BY "
        "a.server, a.user, s.slot, s.since"));
    states.addBindValue(company);
    states.addBindValue(from);
    if (states.exec())
        while (states.next()) {
            const AccountKey key{company, states.value(0).toString(), states.value(1).toString()};
            const int slot = states.value(2).toInt();
            if (history.lines.isEmpty() || history.lines.last().account != key ||
                history.lines.last().slot != slot)
                history.lines.append({key, slot, {}, {}});
            const qint64 since = std::max(from, states.value(4).toLongLong());
            const qint64 until = states.value(5).isNull() ? to : states.value(5).toLongLong();
            history.lines.last().segments.append(
                {since, std::min(until, to), Seen(states.value(3).toInt())});
        }
    for (CompanyHistory::Line& line : history.lines)
        for (size_t i = 0; i < kUptimeDays.size(); ++i)
            line.uptime[i] = uptimeShare(line.segments, history.running,
                                         now.addDays(-kUptimeDays[i]).toMSecsSinceEpoch(), to);
    history.outages = outages(company, now.addDays(-kUptimeDays.back()));
    history.marks = marks(company, now.addDays(-kUptimeDays.back()));
    return history;
}

bool HistoryStore::prune(const QDateTime& now) {
    if (!m_db)
        return false;
    m_lastPrune = now.toMSecsSinceEpoch();
    const qint64 cutoff = now.addDays(-m_keepDays).toMSecsSinceEpoch();
    QSqlQuery states(*m_db);
    states.prepare(QStringLiteral("DELETE FROM states WHERE until IS NOT NULL AND until < ?"));
    states.addBindValue(cutoff);
    QSqlQuery passes(*m_db);
    passes.prepare(QStringLiteral("DELETE FROM passes WHERE ended < ?"));
    passes.addBindValue(cutoff);
    QSqlQuery marks(*m_db);
    marks.prepare(QStringLiteral("DELETE FROM marks WHERE ended IS NOT NULL AND ended < ?"));
    marks.addBindValue(cutoff);
    return states.exec() && passes.exec() && marks.exec();
}

bool HistoryStore::saveMark(const AlertMark& mark) {
    if (!m_db)
        return false;
    QSqlQuery save(*m_db);
    save.prepare(QStringLiteral("INSERT OR REPLACE INTO marks(kind, company, lamps, comment, "
                                "since, until, ended, ended_why) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    save.addBindValue(int(mark.kind));
    save.addBindValue(mark.company);
    save.addBindValue(qint64(mark.lamps));
    save.addBindValue(mark.comment.isNull() ? QStringLiteral("") : mark.comment); // not NULL
    save.addBindValue(mark.from.toMSecsSinceEpoch());
    save.addBindValue(msOrNull(mark.until));
    save.addBindValue(msOrNull(mark.ended));
    save.addBindValue(mark.endedWhy);
    if (save.exec())
        return true;
    m_problem = QStringLiteral("history is paused: %1 cannot be written (%2)")
                    .arg(m_path, save.lastError().text());
    return false;
}

QList<AlertMark> HistoryStore::marks(const QString& company, const QDateTime& from) const {
    QList<AlertMark> found;
    if (!m_db)
        return found;
    QSqlQuery query(*m_db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT kind, company, lamps, comment, since, until, ended, "
                                 "ended_why FROM marks WHERE (ended IS NULL OR ended >= ?)") +
                  (company.isEmpty() ? QString() : QStringLiteral(" AND company = ?")) +
                  QStringLiteral(" ORDER BY since, company"));
    query.addBindValue(from.isValid() ? from.toMSecsSinceEpoch() : qint64(0));
    if (!company.isEmpty())
        query.addBindValue(company);
    if (!query.exec())
        return found;
    while (query.next()) {
        const int kind = query.value(0).toInt();
        if (kind != int(MarkKind::Acknowledged) && kind != int(MarkKind::Snoozed))
            continue;
        found.append({MarkKind(kind), query.value(1).toString(),
                      quint32(query.value(2).toLongLong()), query.value(3).toString(),
                      utcOrInvalid(query.value(4)), utcOrInvalid(query.value(5)),
                      utcOrInvalid(query.value(6)), query.value(7).toString()});
    }
    return found;
}

QDateTime HistoryStore::since(const AccountKey& account) const {
    const auto id = m_ids.constFind(account);
    if (id == m_ids.cend())
        return {};
    const auto open = m_open.constFind(*id);
    if (open == m_open.cend())
        return {};
    std::optional<qint64> oldest;
    for (const std::optional<Open>& slot : *open)
        if (slot && lasts(slot->seen) && (!oldest || slot->since < *oldest))
            oldest = slot->since;
    return oldest ? QDateTime::fromMSecsSinceEpoch(*oldest, Qt::UTC) : QDateTime();
}

QHash<AccountKey, QDateTime> HistoryStore::openTrouble() const {
    QHash<AccountKey, QDateTime> trouble;
    for (auto id = m_ids.cbegin(); id != m_ids.cend(); ++id)
        if (const QDateTime began = since(id.key()); began.isValid())
            trouble.insert(id.key(), began);
    return trouble;
}

void HistoryStore::annotate(QList<AccountRow>& rows) const {
    for (AccountRow& row : rows)
        row.since = since({row.company, row.server, row.user});
}

QList<Outage> HistoryStore::outages(const QString& company, const QDateTime& from) const {
    QList<Outage> found;
    if (!m_db)
        return found;
    QSqlQuery query(*m_db);
    query.setForwardOnly(true);
    // One company's by its accounts, through their index; all companies' in one sweep.
    query.prepare(QStringLiteral("SELECT a.company, a.server, a.user, s.slot, s.since, s.until, "
                                 "s.reason FROM accounts a JOIN states s ON s.account = a.id "
                                 "WHERE s.seen IN (?, ?) AND (s.until IS NULL OR s.until >= ?)") +
                  (company.isEmpty() ? QString() : QStringLiteral(" AND a.company = ?")) +
                  QStringLiteral(" ORDER BY s.since, a.company, s.slot"));
    query.addBindValue(int(Seen::Failed));
    query.addBindValue(int(Seen::Unreachable));
    query.addBindValue(from.toMSecsSinceEpoch());
    if (!company.isEmpty())
        query.addBindValue(company);
    if (!query.exec())
        return found;
    while (query.next()) {
        Outage o;
        o.account = {query.value(0).toString(), query.value(1).toString(),
                     query.value(2).toString()};
        o.slot = query.value(3).toInt();
        o.start = QDateTime::fromMSecsSinceEpoch(query.value(4).toLongLong(), Qt::UTC);
        if (!query.value(5).isNull())
            o.end = QDateTime::fromMSecsSinceEpoch(query.value(5).toLongLong(), Qt::UTC);
        o.reason = query.value(6).toString();
        found.append(o);
    }
    return found;
}

} // namespace courivane
