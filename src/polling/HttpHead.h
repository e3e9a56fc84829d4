#pragma once

#include <QByteArray>
#include <QString>

namespace courivane {

// What a proxy's answer to CONNECT says, from all the bytes it has sent so far.
struct TunnelAnswer {
    enum class State { Incomplete, Open, Refused };
    State state = State::Incomplete;
    QString reason; // why the tunnel is refused
};
TunnelAnswer tunnelAnswer(const QByteArray& received);

// The reply's HTTP status code, or 0 when it does not begin with a status line.
int httpStatus(const QByteArray& reply);
// Whether a 401 reply offers Basic authentication.
bool offersBasic(const QByteArray& reply);

} // namespace courivane
