// The fetch's state machine against any order of socket events: connects, pieces of a reply,
// orderly closes, resets, refusals, time-outs, aborts and new fetches, replayed through a socket
// that does only what the script says. With the first byte's second bit, the rest is a proxy's
// answer to CONNECT instead, read as it grows. Whatever the order, each fetch ends once, never
// inside start(), with a reply that is what was sent (up to the cap) or a failure with a reason,
// and the events of a fetch that has ended reach nothing.
#include "polling/StatusFetch.h"

#include "Property.h"

#include <QCoreApplication>
#include <QPointer>

#include <cerrno>
#include <cstdint>
#include <memory>

using namespace courivane;

namespace {

// The plain connection as the script has it: connecting, connected (the request sent), pieces
// of the reply, and its end, orderly or by a reset.
class ScriptedSocket : public PlainSocket {
public:
    using PlainSocket::PlainSocket;

    void open(const QList<QHostAddress>&, quint16, const QByteArray& request) override {
        m_state = State::Connecting;
        m_request = request;
        m_pending.clear();
        m_end = -1;
    }
    bool isConnected() const { return m_state == State::Connected; }
    void accept() {
        if (m_state != State::Connecting)
            return;
        m_state = State::Connected;
        written += m_request;
    }
    void deliver(const QByteArray& piece) {
        if (m_state != State::Connected)
            return;
        m_pending += piece;
        drain();
    }
    void end(bool reset) {
        if (m_state != State::Connected)
            return;
        drain();
        if (m_state != State::Connected)
            return;
        m_end = reset ? ECONNRESET : 0;
        emit readyRead();
    }
    void refuse() {
        if (m_state != State::Connecting)
            return;
        m_state = State::Closed;
        emit failed(ECONNREFUSED);
    }
    Read read(QByteArray& into, qsizetype most) override {
        if (m_state != State::Connected)
            return Read::Closed;
        if (m_pending.isEmpty()) {
            if (m_end < 0)
                return Read::Nothing;
            m_state = State::Closed;
            return m_end == ECONNRESET ? Read::Reset : Read::Closed;
        }
        const qsizetype n = std::min(most, m_pending.size());
        into += m_pending.left(n);
        m_pending.remove(0, n);
        return Read::Data;
    }
    void close() override { m_state = State::Closed; }
    QByteArray written;

private:
    // As a real socket's notifier does: ready to read again for as long as bytes wait and are
    // taken.
    void drain() {
        qsizetype left = -1;
        while (m_state == State::Connected && !m_pending.isEmpty() && m_pending.size() != left) {
            left = m_pending.size();
            emit readyRead();
        }
    }
    enum class State { Closed, Connecting, Connected };
    State m_state = State::Closed;
    QByteArray m_request;
    QByteArray m_pending;
    int m_end = -1; // errno of the end once it came, -1 before
};

class ScriptedFetch : public StatusFetch {
public:
    QPointer<ScriptedSocket> socket;

protected:
    PlainSocket* newPlainSocket() override {
        socket = new ScriptedSocket(this);
        return socket;
    }
};

const FetchTarget& target() {
    static const FetchTarget t = deriveFetchTarget(
        {QStringLiteral("C"), QStringLiteral("127.0.0.1:9"), QStringLiteral("u")}, 0);
    return t;
}

// The tunnel opens only on a 200 whose head ends exactly where what the proxy sent ends: a byte
// past it would be read as the server's reply once the tunnel is encrypted.
void checkTunnelAnswers(const QByteArray& sent) {
    bool opened = false, refused = false;
    for (qsizetype n = 1; n <= sent.size(); ++n) {
        const QByteArray received = sent.left(n);
        const TunnelAnswer answer = tunnelAnswer(received);
        check(!refused || answer.state == TunnelAnswer::State::Refused,
              "a refused tunnel opened as more arrived");
        if (opened)
            check(answer.state == TunnelAnswer::State::Refused &&
                      answer.reason == QLatin1String("the proxy sent data before the tunnel was "
                                                     "secured"),
                  "bytes after the proxy's answer were taken for the tunnel");
        if (answer.state == TunnelAnswer::State::Open) {
            const qsizetype blank = std::min<qsizetype>(
                received.indexOf("\n\n") < 0 ? n : received.indexOf("\n\n") + 2,
                received.indexOf("\n\r\n") < 0 ? n : received.indexOf("\n\r\n") + 3);
            check(blank == n && httpStatus(received) == 200,
                  "a tunnel opened on what is not a whole 200 answer");
            opened = true;
        }
        refused = answer.state == TunnelAnswer::State::Refused;
        check(!refused || !answer.reason.isEmpty(), "a refused tunnel without a reason");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static int argc = 1;
    static char name[] = "fuzz_fetch";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    if (size < 1)
        return 0;
    if (bytes[0] & 2) {
        checkTunnelAnswers(
            QByteArray(reinterpret_cast<const char*>(bytes + 1), qsizetype(size - 1)));
        return 0;
    }

    const bool web = (bytes[0] & 1) != 0;
    auto fetch = std::make_unique<ScriptedFetch>();
    QList<FetchOutcome> outcomes;
    bool live = false; // a fetch was started and has neither ended nor been aborted
    QObject::connect(fetch.get(), &StatusFetch::finished, [&](const FetchOutcome& outcome) {
        check(live, "an outcome for a fetch that had already ended");
        live = false;
        outcomes << outcome;
    });
    QByteArray sent; // what the current fetch's server sent
    const auto begin = [&] {
        const qsizetype before = outcomes.size();
        fetch->start(target(), std::nullopt, web);
        check(outcomes.size() == before, "an outcome came from inside start()");
        live = true;
        sent.clear();
    };
    const auto checkOutcome = [&](const FetchOutcome& o) {
        if (o.failed) {
            check(!o.reason.isEmpty() && o.reply.isEmpty(), "a failure without a reason");
        } else {
            check(o.reply.size() <= StatusFetch::kMaxReplyBytes, "a reply past the cap");
            check(sent.startsWith(o.reply), "a reply that is not what the server sent");
        }
    };

    begin();
    for (size_t i = 1; i < size; ++i) {
        const qsizetype before = outcomes.size();
        const QPointer<ScriptedSocket> socket = fetch->socket;
        switch (bytes[i] % 8) {
        case 0:
            if (socket)
                socket->accept();
            break;
        case 1: { // a piece: its length, then its bytes
            const size_t length = i + 1 < size ? bytes[++i] * 4u : 0;
            const QByteArray piece(reinterpret_cast<const char*>(bytes + i + 1),
                                   qsizetype(std::min(length, size - i - 1)));
            i += size_t(piece.size());
            // A piece may repeat itself to reach the cap.
            const QByteArray many = piece.repeated(1 + int(length % 64) * 2);
            if (socket && socket->isConnected())
                sent += many;
            if (socket)
                socket->deliver(many);
            break;
        }
        case 2:
        case 3: {
            const bool reset = bytes[i] % 8 == 3;
            const bool waiting = live && socket && socket->isConnected();
            if (socket)
                socket->end(reset);
            if (!waiting)
                break;
            // The end of the connection ends the fetch: a reset before any byte is a failure, a
            // 401 asks for a password nobody stored here, anything else is the whole reply as
            // sent, up to the cap.
            check(outcomes.size() == before + 1, "the end of the connection did not end the fetch");
            const FetchOutcome& o = outcomes.last();
            if (reset && sent.isEmpty())
                check(o.failed && o.reason == QLatin1String("the server reset the connection"),
                      "a reset before any byte was not a failure");
            else if (httpStatus(sent.left(StatusFetch::kMaxReplyBytes)) == 401)
                check(o.failed && o.reason == QLatin1String("authentication required"),
                      "a 401 without a stored password was not \"authentication required\"");
            else
                check(!o.failed && o.reply == sent.left(StatusFetch::kMaxReplyBytes),
                      "the reply at the end of the connection is not what was sent");
            break;
        }
        case 4:
            if (socket)
                socket->refuse();
            break;
        case 5: // the fetch's bound runs out
            if (auto* bound = fetch->findChild<QTimer*>(QStringLiteral("fetchTimeout")))
                if (bound->isActive())
                    QMetaObject::invokeMethod(bound, "timeout");
            break;
        case 6: // aborted, or replaced by a new fetch
            if (bytes[i] & 8) {
                fetch->abort();
                live = false;
            } else {
                begin();
            }
            break;
        default:
            QCoreApplication::processEvents();
            break;
        }
        for (qsizetype k = before; k < outcomes.size(); ++k)
            checkOutcome(outcomes.at(k));
        // The request goes out once a connection, after it, exactly as made.
        if (socket && !socket->written.isEmpty()) {
            check(socket->written == StatusFetch::request(target().requestPath, target().authority),
                  "the request went out otherwise than made");
            socket->written.clear();
        }
    }
    QCoreApplication::processEvents();
    // A fetch still under way ends by its bound, as a failure that says so.
    if (auto* bound = fetch->findChild<QTimer*>(QStringLiteral("fetchTimeout")))
        if (bound->isActive()) {
            const qsizetype before = outcomes.size();
            QMetaObject::invokeMethod(bound, "timeout");
            check(outcomes.size() == before + 1 && outcomes.last().failed &&
                      outcomes.last().timedOut,
                  "a fetch under way did not end by its bound");
        }
    check(!live, "a fetch never ended");
    const QPointer<ScriptedSocket> socket = fetch->socket;
    fetch.reset();
    check(socket.isNull(), "the connection outlived its fetch");
    return 0;
}
