#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>

class QSocketNotifier;

namespace courivane {

// A plain TCP connection for one HTTP/1.0 exchange at a time, on a non-blocking socket of its
// own: the request goes out as soon as the connection stands, and the reply is read as it
// comes. Its two notifiers are kept from one connection to the next, so a fetch costs the
// system calls of the exchange and little more (a socket object of the toolkit asks the kernel
// about every new connection several times over).
class PlainSocket : public QObject {
    Q_OBJECT
public:
    explicit PlainSocket(QObject* parent = nullptr);
    ~PlainSocket() override;
    PlainSocket(const PlainSocket&) = delete;
    PlainSocket& operator=(const PlainSocket&) = delete;

    // Connects to the first of the addresses that takes the connection, and sends `request` on
    // it. Ends any connection before it.
    virtual void open(const QList<QHostAddress>& addresses, quint16 port,
                      const QByteArray& request);
    enum class Read { Data, Nothing, Closed, Reset };
    // Appends what has arrived, at most `most` bytes, once: Data, Nothing yet, or the end of
    // the connection, orderly or by a reset.
    virtual Read read(QByteArray& into, qsizetype most);
    // Ends the connection; nothing more is reported of it.
    virtual void close();
    bool isOpen() const { return m_fd >= 0; }

signals:
    // The reply, or its end, can be read.
    void readyRead();
    // No connection could be made, or it broke before the request was sent: the error number.
    void failed(int error);

private:
    // Tries the next address; false when none is left.
    bool connectNext();
    void onWritable();
    // Sends what is left of the request; false when it failed (and was reported).
    bool sendRequest();
    void closeSocket();
    void failWith(int error);

    int m_fd = -1;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QList<QHostAddress> m_addresses;
    quint16 m_port = 0;
    QByteArray m_request;
    qsizetype m_sent = 0;
    int m_lastError = 0;
    quint64 m_opening = 0; // counts the sockets closed: a failure posted for an older one is void
};

} // namespace courivane
