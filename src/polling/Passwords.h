#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace courivane {

// Where the password of a server and user name is kept. A lookup answers later, never inside
// the call, and not at all once `context` is gone.
class PasswordStore {
public:
    virtual ~PasswordStore() = default;
    using Found = std::function<void(std::optional<QString>)>;
    virtual void find(const QString& server, const QString& user, QObject* context,
                      Found found) = 0;
    // Keeps a password, or removes it when empty; `saved` gets an empty string or why not.
    using Saved = std::function<void(QString)>;
    virtual void save(const QString& server, const QString& user, const QString& password,
                      QObject* context, Saved saved) = 0;
};

// Passwords held in memory: the plug-in's password file, and the tests' stand-in for a keyring.
class MemoryPasswordStore : public PasswordStore {
public:
    void set(const QString& server, const QString& user, const QString& password) {
        m_passwords.insert(key(server, user), password);
    }
    bool isEmpty() const { return m_passwords.isEmpty(); }
    void find(const QString& server, const QString& user, QObject* context, Found found) override;
    void save(const QString& server, const QString& user, const QString& password, QObject* context,
              Saved saved) override;

private:
    static QString key(const QString& server, const QString& user) { return server + u'\t' + user; }
    QHash<QString, QString> m_passwords;
};

// Reads lines "server<TAB>user<TAB>password". Only a regular file that no one but its owner may
// read or write is read; otherwise `problem` says why it was refused.
struct PasswordFileRead {
    MemoryPasswordStore store;
    QString problem;
};
PasswordFileRead readPasswordFile(const QString& path);

} // namespace courivane
