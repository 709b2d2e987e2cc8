#pragma once
// The computer to pair with or send to when the user gives no address: the receivers announced
// on the local network, narrowed for sending to those this device holds a secret for. Several
// candidates are an error naming them, never a guess.
#include "HelperSender.h"

#include <QCoroTask>
#include <chrono>

class KeychainManager;
class ServiceBrowser;

class HelperDiscovery
{
public:
    HelperDiscovery(ServiceBrowser& browser, KeychainManager& keychain,
                    std::chrono::milliseconds wait = std::chrono::seconds(3));

    QCoro::Task<Expected<HelperTarget, QString>> forPairing();
    QCoro::Task<Expected<HelperTarget, QString>> forSending();

private:
    QCoro::Task<Expected<HelperTarget, QString>> find(bool pairedOnly);

    ServiceBrowser& m_browser;
    KeychainManager& m_keychain;
    std::chrono::milliseconds m_wait;
};
