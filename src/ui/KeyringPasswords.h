#pragma once

#include "polling/FetchSecurity.h"

namespace courivane {

// Passwords in the desktop's secret store (the Secret Service, KWallet), one entry a server and
// user name. Without a store to reach, nothing is found and a save says why.
class KeyringPasswords : public PasswordStore {
public:
    void find(const QString& server, const QString& user, QObject* context, Found found) override;
    void save(const QString& server, const QString& user, const QString& password, QObject* context,
              Saved saved) override;

    static const QString kService;
};

} // namespace courivane
