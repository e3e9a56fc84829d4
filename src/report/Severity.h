#pragma once

#include "report/LampRules.h"
#include "report/Reply.h"

#include <QList>

namespace courivane {

// How bad a service's state is, least first. Every place that ranks states ranks them so: the
// row's section, the lamps, the companies named on a lamp, the plug-in and the exporter. A state
// that is not known outranks a warning: nothing says the service works.
enum class Severity { Blank, Ok, Warning, Unknown, Fail };

Severity severityOf(Verdict verdict);

struct ServiceSeverity {
    Lamp service;
    Severity severity;
    bool operator==(const ServiceSeverity&) const = default;
};
// Each service of a reply that was read, in column order; a stale status is at least a warning
// of the Ryl service. None for a failed fetch, which is the Connection lamp's failure alone.
QList<ServiceSeverity> serviceSeverities(const Reply& reply);

// The worst of a reply: a failed fetch is a failure.
Severity worstOf(const Reply& reply);

} // namespace courivane
