#include "report/AlertRules.h"

#include "report/NoticeText.h"
#include "report/Severity.h"

#include <bit>
#include <vector>

namespace courivane {

namespace {

// A time the operator reads: the time of day, with the date when it is not today's.
QString clockText(const QDateTime& when, const QDateTime& now) {
    const QDateTime local = when.toLocalTime();
    const bool today = now.isValid() && local.date() == now.toLocalTime().date();
    return local.toString(today ? QStringLiteral("HH:mm") : QStringLiteral("d MMM HH:mm"));
}

QString serviceLabel(Lamp lamp) {
    return QLatin1String(lampNames(lamp).label);
}

bool lasts(const AlertMark& mark, const QDateTime& at) {
    return !mark.ended.isValid() && (!mark.until.isValid() || at < mark.until);
}

} // namespace

QString failureText(const Failure& failure) {
    const QString company = printableText(failure.company);
    if (failure.lamp != ConnectionLamp)
        return company + QStringLiteral(": ") + serviceLabel(failure.lamp) +
               QStringLiteral(" failed");
    const QString reason = printableText(failure.reason).simplified();
    return company + QStringLiteral(": unreachable") +
           (reason.isEmpty() ? QString() : QStringLiteral(" (") + reason.left(120) + u')');
}

QStringList failureLines(const QList<Failure>& failures, qsizetype most) {
    QStringList lines;
    for (qsizetype i = 0; i < failures.size() && i < most; ++i)
        lines << failureText(failures[i]);
    if (failures.size() > most)
        lines << moreText(failures.size() - most);
    return lines;
}

double flapShare(const FlapTrack& track) {
    constexpr int kChanges = kFlapPasses - 1;
    // Bit i is the change between the states i and i + 1 passes ago; 0 is the newest.
    const int known = std::min(track.known - 1, kChanges);
    if (known <= 0)
        return 0;
    quint32 changed = (track.states ^ (track.states >> 1)) & ((1u << known) - 1);
    double weighted = 0;
    for (; changed != 0; changed &= changed - 1)
        weighted += 1.2 - 0.4 * std::countr_zero(changed) / (kChanges - 1);
    return 100.0 * weighted / kChanges;
}

FlapChange addPass(FlapTrack& track, bool failing) {
    constexpr quint32 kKept = (1u << kFlapPasses) - 1;
    track.states = ((track.states << 1) | (failing ? 1u : 0u)) & kKept;
    track.known = std::min(track.known + 1, kFlapPasses);
    const double share = flapShare(track);
    if (!track.flapping && share > kFlapStartShare) {
        track.flapping = true;
        return FlapChange::Started;
    }
    if (track.flapping && share < kFlapStopShare) {
        track.flapping = false;
        return FlapChange::Stopped;
    }
    return FlapChange::None;
}

QString markText(const AlertMark& mark, const QDateTime& now) {
    QString text;
    if (mark.kind == MarkKind::Snoozed) {
        text = QStringLiteral("Snoozed until ") + clockText(mark.until, now);
    } else {
        QStringList services;
        for (int lamp = 0; lamp < kLampCount; ++lamp)
            if (mark.covers(Lamp(lamp)))
                services << (lamp == ConnectionLamp ? QStringLiteral("unreachable")
                                                    : serviceLabel(Lamp(lamp)));
        text =
            QStringLiteral("Acknowledged ") + clockText(mark.from, now) +
            (services.isEmpty() ? QString() : QStringLiteral(" (") + services.join(u'/') + u')') +
            (mark.until.isValid() ? QStringLiteral(" until ") + clockText(mark.until, now)
                                  : QStringLiteral(" until OK"));
    }
    if (mark.ended.isValid())
        text += QStringLiteral(", ended ") + clockText(mark.ended, now) + QStringLiteral(" (") +
                mark.endedWhy + u')';
    const QString comment = printableText(mark.comment).simplified();
    if (!comment.isEmpty())
        text += QStringLiteral(": ") + comment;
    return text;
}

void AlertBook::load(const QList<AlertMark>& marks) {
    for (const AlertMark& mark : marks)
        if (!mark.ended.isValid() && !this->mark(mark.kind, mark.company)) {
            m_marks << mark;
            reindex();
        }
}

void AlertBook::reindex() {
    m_byCompany.clear();
    for (qsizetype i = 0; i < m_marks.size(); ++i) {
        auto found = m_byCompany.find(m_marks[i].company);
        if (found == m_byCompany.end())
            found = m_byCompany.insert(m_marks[i].company, {-1, -1});
        (*found)[m_marks[i].kind == MarkKind::Snoozed] = i;
    }
}

const AlertMark* AlertBook::mark(MarkKind kind, const QString& company) const {
    const auto found = m_byCompany.constFind(company);
    if (found == m_byCompany.cend())
        return nullptr;
    const qsizetype i = (*found)[kind == MarkKind::Snoozed];
    return i < 0 ? nullptr : &m_marks[i];
}

bool AlertBook::hasFailures(const QString& company) const {
    return m_failingLamps.contains(company);
}

bool AlertBook::flapping(const QString& company, Lamp lamp) const {
    // Nearly always nothing flaps: then no look-up, asked for each failure of a large pass.
    if (!m_anyFlapping)
        return false;
    const auto track = m_flaps.constFind({company, lamp});
    return track != m_flaps.cend() && track->flapping;
}

bool AlertBook::marked(const QString& company, Lamp lamp, const QDateTime& at) const {
    for (const MarkKind kind : {MarkKind::Acknowledged, MarkKind::Snoozed})
        if (const AlertMark* m = mark(kind, company))
            if (m->covers(lamp) && (!at.isValid() || lasts(*m, at)))
                return true;
    return false;
}

bool AlertBook::quiet(const QString& company, Lamp lamp, const QDateTime& at) const {
    return flapping(company, lamp) || marked(company, lamp, at);
}

std::array<bool, kLampCount> AlertBook::dimmed(const QDateTime& at) const {
    std::array<bool, kLampCount> covered{};
    if (m_marks.isEmpty())
        return covered;
    std::array<bool, kLampCount> loud{};
    for (const Failure& f : m_present)
        (marked(f.company, f.lamp, at) ? covered : loud)[f.lamp] = true;
    for (int lamp = 0; lamp < kLampCount; ++lamp)
        covered[lamp] = covered[lamp] && !loud[lamp];
    return covered;
}

void AlertBook::endMarks(const QDateTime& at, QList<AlertMark>& ended) {
    for (auto it = m_marks.begin(); it != m_marks.end();) {
        AlertMark& m = *it;
        const quint32 lamps = m_failingLamps.value(m.company);
        const bool failing = m.kind == MarkKind::Snoozed ? lamps != 0 : (lamps & m.lamps) != 0;
        // Unreachable says nothing of the services: they are not known to be OK.
        const bool unknown = (lamps >> ConnectionLamp) & 1u;
        QString why;
        if (m.until.isValid() && at >= m.until) {
            why = kEndedExpired;
        } else if (m.kind == MarkKind::Acknowledged) {
            if (failing || unknown) {
                m_okSince.remove(m.company);
            } else {
                const QDateTime okSince = m_okSince.value(m.company, at);
                m_okSince.insert(m.company, okSince);
                if (okSince.msecsTo(at) >= kAckOkMs)
                    why = kEndedOk;
            }
        }
        if (why.isEmpty()) {
            ++it;
            continue;
        }
        m.ended = at;
        m.endedWhy = why;
        ended << m;
        if (m.kind == MarkKind::Acknowledged)
            m_okSince.remove(m.company);
        it = m_marks.erase(it);
    }
    reindex();
}

QList<std::pair<FailureKey, FlapChange>> AlertBook::updateFlaps(const QList<Failure>& failures) {
    // Each failing service marked with this pass, found or made in one look-up; room made for
    // all at once (a first large pass would rehash again and again).
    m_flaps.reserve(std::max(m_flaps.capacity(), failures.size()));
    for (const Failure& f : failures) {
        const qsizetype known = m_flaps.size();
        FlapTrack& track = m_flaps[{f.company, f.lamp}];
        // A service seen failing for the first time was OK in the passes before, as far as
        // they went.
        if (m_flaps.size() != known)
            track.known = std::min(m_passes, kFlapPasses - 1);
        track.failingIn = m_passes;
    }
    QList<std::pair<FailureKey, FlapChange>> changes;
    m_anyFlapping = false;
    for (auto it = m_flaps.begin(); it != m_flaps.end();) {
        const FailureKey& key = it.key();
        // Services of a server that could not be asked were not seen: no state for them.
        if (key.second != ConnectionLamp &&
            ((m_failingLamps.value(key.first) >> ConnectionLamp) & 1u)) {
            m_anyFlapping = m_anyFlapping || it->flapping;
            ++it;
            continue;
        }
        if (const FlapChange change = addPass(*it, it->failingIn == m_passes);
            change != FlapChange::None)
            changes.append({key, change});
        m_anyFlapping = m_anyFlapping || it->flapping;
        // Forgotten once nothing of it is left to count.
        if (it->states == 0 && !it->flapping)
            it = m_flaps.erase(it);
        else
            ++it;
    }
    return changes;
}

AlertDecision AlertBook::endOfPass(const EndOfPass& end,
                                   const std::array<int, kLampCount>& counters,
                                   const QList<Failure>& failures, const QDateTime& at,
                                   const AlertSettings& settings) {
    AlertDecision d;
    m_present = failures;
    m_failingLamps.clear();
    m_failingLamps.reserve(failures.size());
    for (const Failure& f : failures)
        m_failingLamps[f.company] |= 1u << f.lamp;
    const QList<std::pair<FailureKey, FlapChange>> flaps = updateFlaps(failures);
    ++m_passes;
    endMarks(at, d.ended);
    for (const auto& [key, change] : flaps) {
        // An acknowledged or snoozed service flaps in silence.
        if (marked(key.first, Lamp(key.second), at))
            continue;
        d.flapLines << printableText(key.first) + QStringLiteral(": ") +
                           (key.second == ConnectionLamp ? QStringLiteral("connection")
                                                         : serviceLabel(Lamp(key.second))) +
                           (change == FlapChange::Started
                                ? QStringLiteral(" is flapping")
                                : QStringLiteral(" is no longer flapping"));
    }

    QHash<QString, quint32> loud;
    loud.reserve(failures.size());
    // Where the failures not silenced stand in `failures`: copied only for a reminder.
    std::vector<qsizetype> unacknowledged;
    unacknowledged.reserve(size_t(failures.size()));
    // One look-up in each table per failure: thousands of them at a large pass's end.
    for (qsizetype i = 0; i < failures.size(); ++i) {
        const Failure& f = failures[i];
        const quint32 before = m_loud.value(f.company);
        quint32& now = loud[f.company];
        // A server not reached says nothing of its services: what was heard of them stays heard.
        if (f.lamp == ConnectionLamp)
            now |= before & ~(1u << ConnectionLamp);
        if (quiet(f.company, f.lamp, at))
            continue;
        now |= 1u << f.lamp;
        unacknowledged.push_back(i);
        // New, or no longer silenced (a snooze or an acknowledgement ended, the flapping
        // stopped): heard.
        if (!((before >> f.lamp) & 1u))
            d.heard << f;
    }
    m_loud = std::move(loud);

    d.dimmed = dimmed(at);
    std::array<bool, kLampCount> blinkable{};
    const bool redBlinks = std::any_of(end.blinks.cbegin(), end.blinks.cend(),
                                       [](const Blink& b) { return b.colour == LampColour::Red; });
    for (qsizetype i = 0; redBlinks && i < failures.size(); ++i) {
        const Failure& f = failures[i];
        blinkable[f.lamp] = blinkable[f.lamp] || ((m_loud.value(f.company) >> f.lamp) & 1u);
    }
    for (const Blink& blink : end.blinks)
        // A warning has no failures to silence; a lamp whose failures are all silenced is still.
        if (blink.colour != LampColour::Red || blinkable[blink.lamp])
            d.blinks << blink;

    if (!d.heard.isEmpty()) {
        m_lastAlarm = at;
    } else if (reminderDue(m_lastAlarm, at, settings.remindMinutes, !unacknowledged.empty())) {
        for (const qsizetype i : unacknowledged)
            d.reminded << failures[i];
        m_lastAlarm = at;
    }
    if (unacknowledged.empty())
        m_lastAlarm = QDateTime();

    const bool alarm = !d.heard.isEmpty() || !d.reminded.isEmpty();
    d.playSound = settings.sound && alarm;
    d.showNotice = settings.popups && (alarm || !d.flapLines.isEmpty());
    if (d.showNotice)
        d.noticeText = !d.reminded.isEmpty() ? reminderNoticeText(failureLines(d.reminded))
                                             : alarmNoticeText(counters, settings.web,
                                                               failureLines(d.heard), d.flapLines);
    return d;
}

bool reminderDue(const QDateTime& lastAlarm, const QDateTime& at, int remindMinutes,
                 bool anythingUnacknowledged) {
    return remindMinutes > 0 && anythingUnacknowledged && lastAlarm.isValid() &&
           lastAlarm.msecsTo(at) >= qint64(remindMinutes) * 60 * 1000;
}

std::optional<AlertMark> AlertBook::acknowledge(const QString& company, const QString& comment,
                                                const QDateTime& until, const QDateTime& now) {
    return acknowledgeLamps(company, m_failingLamps.value(company), comment, until, now);
}

std::optional<AlertMark> AlertBook::acknowledgeLamps(const QString& company, quint32 lamps,
                                                     const QString& comment, const QDateTime& until,
                                                     const QDateTime& now) {
    if (lamps == 0)
        return std::nullopt;
    // A second acknowledgement of the company takes the place of the first, with its services
    // and, where it says none, its comment.
    QString said = comment;
    for (auto it = m_marks.begin(); it != m_marks.end(); ++it)
        if (it->kind == MarkKind::Acknowledged && it->company == company) {
            lamps |= it->lamps;
            if (said.isEmpty())
                said = it->comment;
            m_marks.erase(it);
            break;
        }
    AlertMark mark{MarkKind::Acknowledged, company, lamps, said, now, until, {}, {}};
    m_marks << mark;
    reindex();
    m_okSince.remove(company);
    return mark;
}

QList<AlertMark> AlertBook::acknowledgeAll(const QDateTime& now) {
    // Each company's present failures, in the order first seen, in one sweep.
    QStringList companies;
    QHash<QString, quint32> lamps;
    for (const Failure& f : m_present) {
        // What a mark covers already keeps it, with its comment and its end.
        if (marked(f.company, f.lamp, now))
            continue;
        quint32& bits = lamps[f.company];
        if (bits == 0)
            companies << f.company;
        bits |= 1u << f.lamp;
    }
    QList<AlertMark> marks;
    for (const QString& company : companies)
        if (auto mark = acknowledgeLamps(company, lamps.value(company), {}, {}, now))
            marks << *mark;
    return marks;
}

AlertMark AlertBook::snooze(const QString& company, const QDateTime& until, const QString& comment,
                            const QDateTime& now) {
    m_marks.removeIf(
        [&](const AlertMark& m) { return m.kind == MarkKind::Snoozed && m.company == company; });
    AlertMark mark{MarkKind::Snoozed, company, 0, comment, now, until, {}, {}};
    m_marks << mark;
    reindex();
    return mark;
}

std::optional<AlertMark> AlertBook::end(MarkKind kind, const QString& company,
                                        const QDateTime& now) {
    for (auto it = m_marks.begin(); it != m_marks.end(); ++it)
        if (it->kind == kind && it->company == company) {
            AlertMark ended = *it;
            ended.ended = now;
            ended.endedWhy = kEndedByHand;
            m_marks.erase(it);
            reindex();
            return ended;
        }
    return std::nullopt;
}

QString AlertBook::rowNote(const QString& company, const QDateTime& now) const {
    QStringList notes;
    QStringList flaps;
    // A look-up a lamp: the rows of a long list each ask.
    for (int lamp = 0; lamp < kLampCount; ++lamp)
        if (flapping(company, Lamp(lamp)))
            flaps << (lamp == ConnectionLamp ? QStringLiteral("connection")
                                             : serviceLabel(Lamp(lamp)));
    if (!flaps.isEmpty())
        notes << flaps.join(u'/') + QStringLiteral(" flapping");
    for (MarkKind kind : {MarkKind::Snoozed, MarkKind::Acknowledged})
        if (const AlertMark* m = mark(kind, company))
            notes << markText(*m, now);
    return notes.join(QStringLiteral("; "));
}

QString AlertBook::lampNote(const QString& company, Lamp lamp, const QDateTime& now) const {
    QStringList words;
    if (flapping(company, lamp))
        words << QStringLiteral("flapping");
    for (const MarkKind kind : {MarkKind::Acknowledged, MarkKind::Snoozed})
        if (const AlertMark* m = mark(kind, company); m && m->covers(lamp))
            words << (kind == MarkKind::Snoozed
                          ? QStringLiteral("snoozed until ") + clockText(m->until, now)
                          : QStringLiteral("acknowledged"));
    return words.join(QStringLiteral(", "));
}

void AlertBook::annotate(QList<AccountRow>& rows, const QDateTime& now) const {
    // Only the companies the alerts say something of: a few among thousands of rows.
    QHash<QString, QString> notes;
    for (const QString& company : namedCompanies())
        notes.insert(company, rowNote(company, now));
    for (AccountRow& row : rows)
        row.alertNote = notes.value(row.company);
}

void AlertBook::annotate(LampCompanies& companies, const QDateTime& now) const {
    const QSet<QString> named = namedCompanies();
    for (int lamp = 0; lamp < kLampCount; ++lamp) {
        companies.notes[lamp].clear();
        if (named.isEmpty())
            continue;
        for (const QString& company : companies.failing[lamp])
            if (named.contains(company))
                if (const QString note = lampNote(company, Lamp(lamp), now); !note.isEmpty())
                    companies.notes[lamp].insert(company, note);
    }
}

QSet<QString> AlertBook::namedCompanies() const {
    QSet<QString> named;
    for (const AlertMark& m : m_marks)
        named.insert(m.company);
    for (auto it = m_flaps.cbegin(); it != m_flaps.cend(); ++it)
        if (it->flapping)
            named.insert(it.key().first);
    return named;
}

} // namespace courivane
