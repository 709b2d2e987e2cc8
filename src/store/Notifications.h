#pragma once
// The notifications that connect subsystems loosely. One object, owned by the composition root.
#include <QObject>

class Notifications : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

Q_SIGNALS:
    // "Ovra.CloudSettingsDidSync": settings changed by sync.
    void cloudSettingsDidSync();
    // "Ovra.ICloudSyncDidApplyRemoteData": records changed by sync.
    void iCloudSyncDidApplyRemoteData();
    // "Ovra.SecretsKeysRestored": keys restored from the key backup.
    void secretsKeysRestored();
};
