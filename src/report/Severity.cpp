#include "report/Severity.h"

#include <algorithm>

namespace courivane {

Severity severityOf(Verdict verdict) {
    switch (verdict) {
    case Verdict::Ok:
        return Severity::Ok;
    case Verdict::Fail:
        return Severity::Fail;
    case Verdict::Blank:
        return Severity::Blank;
    case Verdict::Warning:
        return Severity::Warning;
    case Verdict::Unknown:
    case Verdict::NoData:
        break;
    }
    return Severity::Unknown;
}

QList<ServiceSeverity> serviceSeverities(const Reply& reply) {
    QList<ServiceSeverity> severities;
    if (reply.failed)
        return severities;
    severities.reserve(reply.services.size() + 1);
    bool ryl = false;
    for (const ServiceVerdict& s : reply.services) {
        Severity severity = severityOf(s.verdict);
        // A status the monitoring service stopped updating: its own service says so.
        if (s.service == RylLamp && reply.stale)
            severity = std::max(severity, Severity::Warning);
        ryl = ryl || s.service == RylLamp;
        severities.append({s.service, severity});
    }
    if (reply.stale && !ryl)
        severities.append({RylLamp, Severity::Warning});
    return severities;
}

Severity worstOf(const Reply& reply) {
    if (reply.failed)
        return Severity::Fail;
    Severity worst = Severity::Blank;
    for (const ServiceSeverity& s : serviceSeverities(reply))
        worst = std::max(worst, s.severity);
    return worst;
}

} // namespace courivane
