// The alert rules' cost at the end of a pass: 50,000 companies unreachable (all new, then all
// lasting), then 50,000 with SMTP failing on every other pass; and with 1,000 acknowledged.

#include "report/AlertRules.h"

#include <QElapsedTimer>

#include <cstdio>

using namespace courivane;

namespace {

QList<Failure> failures(int companies, Lamp lamp) {
    QList<Failure> list;
    list.reserve(companies);
    for (int i = 0; i < companies; ++i)
        list.append({QStringLiteral("Company %1").arg(i), lamp,
                     lamp == ConnectionLamp ? QStringLiteral("the server refused the connection")
                                            : QString()});
    return list;
}

double passMs(AlertBook& book, const QList<Failure>& now, const QDateTime& at) {
    QElapsedTimer clock;
    clock.start();
    const AlertDecision d = book.endOfPass({}, {}, now, at, {true, true, true, 15});
    return double(clock.nsecsElapsed()) / 1e6 + (d.noticeText.isEmpty() ? 0 : 0);
}

} // namespace

int main() {
    constexpr int kCompanies = 50'000;
    const QDateTime start = QDateTime::currentDateTimeUtc();
    AlertBook unreachable;
    const QList<Failure> down = failures(kCompanies, ConnectionLamp);
    std::printf("%d unreachable, new:       %7.1f ms\n", kCompanies,
                passMs(unreachable, down, start));
    std::printf("%d unreachable, lasting:   %7.1f ms\n", kCompanies,
                passMs(unreachable, down, start.addSecs(31)));

    AlertBook flapping;
    const QList<Failure> smtp = failures(kCompanies, SmtpLamp);
    double most = 0;
    for (int pass = 0; pass < 22; ++pass)
        most = std::max(
            most, passMs(flapping, pass % 2 ? QList<Failure>() : smtp, start.addSecs(31 * pass)));
    std::printf("%d flapping, 22 passes:    %7.1f ms the longest\n", kCompanies, most);
    AlertBook marked;
    passMs(marked, smtp, start);
    for (int i = 0; i < 1000; ++i)
        marked.acknowledge(QStringLiteral("Company %1").arg(i), {}, {}, start);
    std::printf("%d with 1,000 acknowledged: %6.1f ms\n", kCompanies,
                passMs(marked, smtp, start.addSecs(31)));
    return 0;
}
