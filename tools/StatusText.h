#pragma once

#include <QByteArray>

namespace courivane {

// A status text as a monitoring server publishes it: the marker, one field a line, each line
// ending in CR LF, and the 19-character time of the last update in UTC. `fields` are in the
// order of the split layout: ICMP, Web, POP3, Receive, SMTP, Ryl, Send. The combined layout
// leaves out Web and orders the rest ICMP, POP3, Receive, SMTP, Ryl, Send; the split layout
// adds three fields the monitor does not read.
inline QByteArray statusText(const char fields[7], bool split, const QByteArray& utcTime) {
    QByteArray text = "RylStatus";
    for (int i = 0; i < 7; ++i)
        if (split || i != 1)
            text += QByteArray("\r\n") + fields[i];
    if (split)
        text += "\r\n1\r\n1\r\n1";
    return text + "\r\n" + utcTime + "\r\n";
}

} // namespace courivane
