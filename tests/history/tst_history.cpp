// The history: what changed and when, kept in SQLite, and what goes wrong with its file.
#include "history/HistoryRecorder.h"
#include "history/HistoryStore.h"

#include "TestFiles.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

using namespace courivane;
using namespace courivane::testing;

namespace {

const QDateTime kStart(QDate(2026, 7, 1), QTime(8, 0), Qt::UTC);

// A row from letters, one a pass: "O" all OK, "F" SMTP failed, "W" POP3 warning, "S" stale,
// "U" unreachable.
AccountRow rowOf(QChar letter, const QString& company = QStringLiteral("Acme")) {
    AccountRow row;
    row.company = company;
    row.server = QStringLiteral("mon1");
    row.user = QStringLiteral("acme");
    if (letter == u'U') {
        row.reply.failed = true;
        row.reply.reason = QStringLiteral("the server refused the connection");
        return row;
    }
    for (int lamp = IcmpLamp; lamp <= RylLamp; ++lamp)
        row.reply.services.append({Lamp(lamp), Verdict::Ok});
    if (letter == u'F')
        row.reply.services[SmtpLamp].verdict = Verdict::Fail;
    if (letter == u'W')
        row.reply.services[Pop3Lamp].verdict = Verdict::Warning;
    row.reply.stale = letter == u'S';
    return row;
}

// Segments as "from-to:state" (minutes; O ok, F failed, N not monitored), the monitor running
// as "from-to" (minutes), over minutes 0 to 100; the OK share, or -1 for none.
const std::tuple<const char*, const char*, const char*, double> kUptimes[] = {
    {"all OK while running", "0-100:O", "0-100", 1.0},
    {"a quarter failed", "0-75:O 75-100:F", "0-100", 0.75},
    {"time not running counts for nothing", "0-50:O 50-100:F", "0-50", 1.0},
    {"never OK: 0 %", "0-100:F", "0-100", 0.0},
    {"not monitored: no figure", "0-100:N", "0-100", -1},
    {"never running: no figure", "0-100:O", "", -1},
};
// The passes as "started-ended" (minutes), a cycle of 2; the times the monitor ran.
const std::tuple<const char*, const char*, const char*> kRunning[] = {
    {"passes a cycle apart run on", "0-1 2-3 4-5", "0-7"},
    {"a stop between them is a gap", "0-1 20-21", "0-3 20-23"},
    {"none", "", ""},
};

QList<std::pair<qint64, qint64>> spans(const char* text) {
    QList<std::pair<qint64, qint64>> list;
    for (const QString& s : QString::fromLatin1(text).split(u' ', Qt::SkipEmptyParts))
        list.append({s.section(u'-', 0, 0).toLongLong() * 60000,
                     s.section(u'-', 1).section(u':', 0, 0).toLongLong() * 60000});
    return list;
}

// Passes a minute apart, a letter each; the state lines written, the hour:minute the row's
// trouble began after the last pass ("-": none), and the outages as "slot start-end".
const std::tuple<const char*, const char*, int, const char*, const char*> kPasses[] = {
    {"the same state writes nothing new", "OOOO", 8, "-", ""},
    {"a failure and its end", "OFFO", 10, "-", "3 08:01-08:03"},
    {"a failure still on: since its first pass", "OOFF", 9, "08:02", "3 08:02-"},
    {"unreachable keeps the services as last seen", "FUUF", 10, "08:00", "3 08:00-|7 08:01-08:03"},
    {"a warning and a stale status are remembered, not outages", "OWSO", 12, "-", ""},
    {"the oldest trouble of the row, the warning over", "WFFF", 10, "08:01", "3 08:01-"},
    {"the oldest trouble of the row, both on", "WUUU", 9, "08:00", "7 08:01-"},
};

QString outagesText(const QList<Outage>& outages) {
    QStringList parts;
    for (const Outage& o : outages)
        parts << QStringLiteral("%1 %2-%3")
                     .arg(o.slot)
                     .arg(o.start.toString(QStringLiteral("HH:mm")),
                          o.end.isValid() ? o.end.toString(QStringLiteral("HH:mm")) : QString());
    return parts.join(u'|');
}

int count(const QString& path, const char* sql) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
    db.setDatabaseName(path);
    int n = -1;
    if (db.open()) {
        QSqlQuery q(db);
        if (q.exec(QString::fromLatin1(sql)) && q.next())
            n = q.value(0).toInt();
        db.close();
    }
    db = {};
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));
    return n;
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT
private:
    QString path() const { return QDir(m_tmp->path()).filePath(kHistoryFileName); }
    std::unique_ptr<QTemporaryDir> m_tmp;

private slots:
    void init() { m_tmp = std::make_unique<QTemporaryDir>(); }

    void changesOnly_data() { addRows(kPasses); }
    void changesOnly() {
        const auto& [name, passes, lines, since, outages] = currentRow(kPasses);
        {
            HistoryStore store(path());
            QVERIFY2(store.isOn(), qPrintable(store.problem()));
            QDateTime at = kStart;
            for (const QChar letter : QString::fromLatin1(passes)) {
                QVERIFY(store.record({rowOf(letter)}, at, at.addSecs(1)));
                at = at.addSecs(60);
            }
            QCOMPARE(count(path(), "SELECT count(*) FROM states"), lines);
            const QDateTime began = store.since({"Acme", "mon1", "acme"});
            QCOMPARE(began.isValid() ? began.toString(QStringLiteral("HH:mm")) : QString("-"),
                     QString::fromLatin1(since));
            QCOMPARE(outagesText(store.outages(QString(), kStart)), QString::fromLatin1(outages));
        }
        // The "since" comes from the file: a restart keeps it.
        const HistoryStore again(path());
        const QDateTime began = again.since({"Acme", "mon1", "acme"});
        QCOMPARE(began.isValid() ? began.toString(QStringLiteral("HH:mm")) : QString("-"),
                 QString::fromLatin1(since));
    }

    void uptime_data() { addRows(kUptimes); }
    void uptime() {
        const auto& [name, segments, running, share] = currentRow(kUptimes);
        QList<Segment> list;
        const QStringList parts = QString::fromLatin1(segments).split(u' ');
        const QList<std::pair<qint64, qint64>> times = spans(segments);
        for (qsizetype i = 0; i < parts.size(); ++i) {
            const QChar state = parts.at(i).back();
            list.append({times.at(i).first, times.at(i).second,
                         state == u'O'   ? Seen::Ok
                         : state == u'F' ? Seen::Failed
                                         : Seen::NotMonitored});
        }
        const std::optional<double> found = uptimeShare(list, spans(running), 0, 100 * 60000);
        QCOMPARE(found.value_or(-1), share);
    }

    void running_data() { addRows(kRunning); }
    void running() {
        const auto& [name, passes, ran] = currentRow(kRunning);
        QCOMPARE(runningTimes(spans(passes), 2 * 60000), spans(ran));
    }

    void aCompanysHistory() {
        HistoryStore store(path());
        QDateTime at = kStart;
        for (const QChar letter : QStringLiteral("OFFO"))
            store.record({rowOf(letter)}, at, at.addSecs(1)), at = at.addSecs(60);
        const CompanyHistory h = store.companyHistory("Acme", at);
        QCOMPARE(h.lines.size(), kHistorySlots); // seven services and the fetch
        const CompanyHistory::Line& smtp = h.lines.at(SmtpLamp);
        QCOMPARE(smtp.segments.size(), 3);
        QCOMPARE(smtp.segments.at(1).seen, Seen::Failed);
        // Two of the four minutes failed.
        QVERIFY(qAbs(smtp.uptime[0].value_or(-1) - 0.5) < 0.01);
        QCOMPARE(outagesText(h.outages), QStringLiteral("3 08:01-08:03"));
        QVERIFY(store.companyHistory("Other", at).lines.isEmpty());
    }

    // On its own thread the recorder answers since when each account's trouble lasts, and for
    // each company the oldest of its accounts'.
    void theRecorderNamesEachCompanysOldestTrouble() {
        HistoryRecorder recorder(path(), 31);
        QSignalSpy updated(&recorder, &HistoryRecorder::updated);
        AccountRow first = rowOf(u'F'), second = rowOf(u'O');
        second.user = QStringLiteral("second");
        recorder.record({first, second}, kStart, kStart.addSecs(1));
        second.reply = rowOf(u'U').reply;
        recorder.record({first, second}, kStart.addSecs(60), kStart.addSecs(61));
        QTRY_COMPARE_WITH_TIMEOUT(updated.size(), 2, 10000);
        const QDateTime older = recorder.since().value({"Acme", "mon1", "acme"});
        const QDateTime newer = recorder.since().value({"Acme", "mon1", "second"});
        QVERIFY(older.isValid() && older < newer);
        QCOMPARE(recorder.companySince().value("Acme"), older);
        QList<AccountRow> rows{second};
        recorder.annotate(rows);
        QCOMPARE(rows.first().since, newer);
    }

    // Acknowledgements and snoozes outlive the program; a file of the first schema takes them
    // too, and keeps what it held.
    void marksAreKept() {
        {
            HistoryStore store(path());
            QVERIFY(store.record({rowOf(u'F')}, kStart, kStart));
        }
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "old");
            db.setDatabaseName(path());
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec("DROP TABLE marks"));
            QVERIFY(QSqlQuery(db).exec("PRAGMA user_version=1"));
            db.close();
        }
        QSqlDatabase::removeDatabase("old");
        const AlertMark ack{
            MarkKind::Acknowledged, "Acme", 1u << SmtpLamp, "it's 'ticket' 7", kStart, {}, {}, {}};
        AlertMark snooze{MarkKind::Snoozed, "Dunmore", 0, {}, kStart, kStart.addSecs(3600), {}, {}};
        {
            HistoryStore store(path());
            QVERIFY(store.isOn() && store.since({"Acme", "mon1", "acme"}).isValid());
            QVERIFY2(store.saveMark(ack) && store.saveMark(snooze), qPrintable(store.problem()));
            snooze.ended = kStart.addSecs(60);
            snooze.endedWhy = kEndedByHand;
            QVERIFY(store.saveMark(snooze)); // the same mark, ended
        }
        HistoryStore store(path());
        QCOMPARE(store.marks({}, kStart.addSecs(120)), QList<AlertMark>{ack});
        QCOMPARE(store.marks("Dunmore", kStart), QList<AlertMark>{snooze});
    }

    void aPrivateFileWrittenAhead() {
        {
            HistoryStore store(path());
            QVERIFY(store.record({rowOf(u'O')}, kStart, kStart));
        }
        QCOMPARE(QFileInfo(path()).permissions() & 0x7777,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                     QFileDevice::WriteUser);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "mode");
        db.setDatabaseName(path());
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("PRAGMA journal_mode") && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("wal"));
        QVERIFY(q.exec("PRAGMA user_version") && q.next());
        QCOMPARE(q.value(0).toInt(), HistoryStore::kSchemaVersion);
        q = QSqlQuery();
        db.close();
        db = {};
        QSqlDatabase::removeDatabase("mode");
        // No days kept: no history and no file.
        const QString none = QDir(m_tmp->path()).filePath("none.sqlite");
        QVERIFY(!HistoryStore(none, 0).isOn() && !QFileInfo::exists(none));
    }

    void pruningKeepsWhatIsRecent() {
        HistoryStore store(path(), 31);
        QDateTime at = kStart;
        for (const QChar letter : QStringLiteral("OFO"))
            store.record({rowOf(letter)}, at, at), at = at.addDays(10);
        // Closed lines end 10 and 20 days in. 31 days after the first ended it stays; a minute
        // later it goes, and the failure that ended on day 20 stays.
        QVERIFY(store.prune(kStart.addDays(41)));
        QCOMPARE(count(path(), "SELECT count(*) FROM states"), 10);
        QVERIFY(store.prune(kStart.addDays(41).addSecs(60)));
        QCOMPARE(count(path(), "SELECT count(*) FROM states"), 9);
        QCOMPARE(outagesText(store.outages(QString(), kStart)), QStringLiteral("3 08:00-08:00"));
    }

    void whatGoesWrongWithTheFile() {
        // Not a database: kept aside, never deleted, and a new history begun.
        writeBytes(QDir(m_tmp->path()), kHistoryFileName, QByteArray(4096, 'x'));
        {
            HistoryStore store(path());
            QVERIFY(store.isOn());
            QVERIFY2(store.problem().contains("kept as"), qPrintable(store.problem()));
            QVERIFY(store.record({rowOf(u'F')}, kStart, kStart));
            // A second monitor on the same directory monitors without history.
            const HistoryStore second(path());
            QVERIFY(!second.isOn());
            QVERIFY2(second.problem().contains("another monitor"), qPrintable(second.problem()));
        }
        const QStringList aside = QDir(m_tmp->path()).entryList({"History.sqlite.damaged-*"});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(readBytes(QDir(m_tmp->path()), aside.first()), QByteArray(4096, 'x'));
        // A file of a newer program is left alone.
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "newer");
            db.setDatabaseName(path());
            QVERIFY(db.open());
            QSqlQuery(db).exec("PRAGMA user_version=9");
            db.close();
            db = {};
            QSqlDatabase::removeDatabase("newer");
        }
        const HistoryStore newer(path());
        QVERIFY(!newer.isOn() && newer.problem().contains("newer"));
        QCOMPARE(QDir(m_tmp->path()).entryList({"History.sqlite.damaged-*"}).size(), 1);
    }

    void whatHappenedWhileAway() {
        // Outages at hh:mm, a minute each, of SMTP ("S") or the fetch ("U"), local times.
        const auto outages = [](const char* list) {
            QList<Outage> found;
            for (const QString& item : QString::fromLatin1(list).split(u' ', Qt::SkipEmptyParts)) {
                Outage o;
                o.account.company = item.section(u':', 0, 0);
                o.slot = item.section(u':', 1, 1) == u"U" ? kFetchSlot : int(SmtpLamp);
                o.start =
                    QDateTime(QDate(2026, 7, 1), QTime::fromString(item.section(u':', 2), "HHmm"));
                o.end = o.start.addSecs(60);
                found << o;
            }
            return found;
        };
        const QDateTime since(QDate(2026, 7, 1), QTime(12, 4));
        const QDateTime now(QDate(2026, 7, 1), QTime(14, 0));
        QCOMPARE(whileAwayText({}, since, now), QString());
        QCOMPARE(whileAwayText(outages("Acme:S:1231 Dunmore:U:1302"), since, now),
                 QStringLiteral("While away (since 12:04): Acme SMTP failed 12:31-12:32; Dunmore "
                                "unreachable 13:02-13:03"));
        QVERIFY(whileAwayText(outages("A:S:1231 B:S:1232 C:S:1233 D:S:1234 E:S:1235"), since, now)
                    .endsWith("C SMTP failed 12:33-12:34 and 2 more"));
        QCOMPARE(outageText(outages("A:S:1231").first(), now.addDays(1)),
                 QStringLiteral("A SMTP failed 1 Jul 12:31-1 Jul 12:32"));
    }

    void aFullDiskPausesHistory() {
        HistoryStore store(path());
        QVERIFY(store.record({rowOf(u'O')}, kStart, kStart));
        {
            const FileSizeLimit full(1);
            QVERIFY(!store.record({rowOf(u'F')}, kStart.addSecs(60), kStart.addSecs(60)));
            QVERIFY2(store.problem().startsWith("history paused"), qPrintable(store.problem()));
        }
        // Room again: the next pass records what it sees, and nothing was half written.
        QVERIFY(store.record({rowOf(u'F')}, kStart.addSecs(120), kStart.addSecs(120)));
        QVERIFY(store.problem().isEmpty());
        QCOMPARE(outagesText(store.outages(QString(), kStart)), QStringLiteral("3 08:02-"));
        QCOMPARE(count(path(), "SELECT count(*) FROM passes"), 2);
    }

    void hostileNamesAndTheReport() {
        const QString hostile = QStringLiteral("=cmd|' /C calc'!A0, \"Ltd\"\x1b[2J") +
                                QString(10000, u'x') + QStringLiteral("'); DROP TABLE states;--");
        HistoryStore store(path());
        QVERIFY(store.record({rowOf(u'U', hostile)}, kStart, kStart));
        QVERIFY(store.record({rowOf(u'O', hostile)}, kStart.addSecs(90), kStart.addSecs(91)));
        const QList<Outage> outages = store.outages(hostile, kStart);
        QCOMPARE(outages.size(), 1);
        QCOMPARE(outages.first().account.company, hostile);
        const QString csv = outagesCsv(outages, kStart.addDays(1));
        QVERIFY(csv.startsWith("company,service,start,end,duration_seconds,reason\r\n\"'=cmd|"));
        QVERIFY(csv.contains("\"\"Ltd\"\"\uFFFD[2J") && !csv.contains(u'\x1b'));
        QVERIFY2(csv.endsWith(",connection,2026-07-01T08:00:00Z,2026-07-01T08:01:30Z,90,the server "
                              "refused the connection\r\n"),
                 qPrintable(csv.right(120)));
        // Another company: nothing; an outage still on lasts until now.
        QVERIFY(store.outages("Other", kStart).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
