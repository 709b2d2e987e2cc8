#pragma once
// This program on the phone's side of the link: pairs with another computer's receiver and
// sends it texts. Its deviceID is the device's sync identifier; the secret chosen for each
// computer is kept in the secret store under "mirelo.helper.computerSecret." + helperID.
#include "HelperPhoneClient.h"

#include <QCoroTask>

class KeychainManager;

struct HelperTarget
{
    QString host;
    quint16 port = 0;
    // "HOST:PORT", "[IPv6]:PORT"; nothing for anything else.
    static std::optional<HelperTarget> parse(const QString& text);
};

class HelperSender
{
public:
    static constexpr const char* kSecretAccountPrefix = "mirelo.helper.computerSecret.";

    HelperSender(KeychainManager& keychain, QString deviceID, QString deviceName);

    // The computer's name once paired; the user-facing reason otherwise.
    QCoro::Task<Expected<QString, QString>> pair(HelperTarget target, QString code);
    // The computer's name once it took the text.
    QCoro::Task<Expected<QString, QString>> send(HelperTarget target, QString text);

    // The French sentence for a refusal reason.
    static QString reasonText(const QString& reason);

private:
    KeychainManager& m_keychain;
    QString m_deviceID;
    QString m_deviceName;
};
