#include "ui/KeyringPasswords.h"

#include <qt6keychain/keychain.h>

#include <QPointer>

namespace courivane {

const QString KeyringPasswords::kService = QStringLiteral("courivane");

namespace {
QString keyOf(const QString& server, const QString& user) {
    return user + u'@' + server;
}
} // namespace

void KeyringPasswords::find(const QString& server, const QString& user, QObject* context,
                            Found found) {
    auto* job = new QKeychain::ReadPasswordJob(kService);
    job->setAutoDelete(true);
    job->setInsecureFallback(false); // never a file of passwords in plain text
    job->setKey(keyOf(server, user));
    QObject::connect(job, &QKeychain::Job::finished, context,
                     [found = std::move(found)](QKeychain::Job* done) {
                         auto* read = static_cast<QKeychain::ReadPasswordJob*>(done);
                         if (read->error() == QKeychain::NoError)
                             found(read->textData());
                         else
                             found(std::nullopt);
                     });
    job->start();
}

void KeyringPasswords::save(const QString& server, const QString& user, const QString& password,
                            QObject* context, Saved saved) {
    QKeychain::Job* job = nullptr;
    if (password.isEmpty()) {
        job = new QKeychain::DeletePasswordJob(kService);
    } else {
        auto* write = new QKeychain::WritePasswordJob(kService);
        write->setTextData(password);
        job = write;
    }
    job->setAutoDelete(true);
    job->setInsecureFallback(false); // never a file of passwords in plain text
    job->setKey(keyOf(server, user));
    const bool removing = password.isEmpty();
    QObject::connect(job, &QKeychain::Job::finished, context,
                     [saved = std::move(saved), removing](QKeychain::Job* done) {
                         // Removing what was never stored is no failure.
                         if (done->error() == QKeychain::NoError ||
                             (removing && done->error() == QKeychain::EntryNotFound))
                             saved(QString());
                         else
                             saved(done->errorString());
                     });
    job->start();
}

} // namespace courivane
