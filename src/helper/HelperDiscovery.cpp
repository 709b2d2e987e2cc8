#include "HelperDiscovery.h"

#include "MacHelperReceiver.h"
#include "ai/KeychainManager.h"
#include "platform/ServiceBrowser.h"

HelperDiscovery::HelperDiscovery(ServiceBrowser& browser, KeychainManager& keychain, std::chrono::milliseconds wait)
    : m_browser(browser), m_keychain(keychain), m_wait(wait)
{
}

QCoro::Task<Expected<HelperTarget, QString>> HelperDiscovery::forPairing() { return find(false); }
QCoro::Task<Expected<HelperTarget, QString>> HelperDiscovery::forSending() { return find(true); }

QCoro::Task<Expected<HelperTarget, QString>> HelperDiscovery::find(bool pairedOnly)
{
    const QString giveAddress = QStringLiteral(" : indiquez HÔTE:PORT");
    auto browsing = m_browser.browse(QString::fromLatin1(MacHelperReceiver::kServiceType), m_wait);
    const auto found = co_await browsing;
    if (!found)
        co_return unexpected(QStringLiteral("Recherche sur le réseau local impossible (%1)").arg(found.error()) + giveAddress);
    QList<FoundService> candidates;
    for (const FoundService& s : *found) {
        if (s.port == 0 || s.address.isEmpty())
            continue;
        const QString id = QString::fromUtf8(s.txt.value(QStringLiteral("id")));
        if (pairedOnly && (id.isEmpty() || !m_keychain.read(QLatin1String(HelperSender::kSecretAccountPrefix) + id)))
            continue;
        candidates.append(s);
    }
    if (candidates.isEmpty())
        co_return unexpected((pairedOnly ? QStringLiteral("Aucun ordinateur associé n'est annoncé sur le réseau local")
                                         : QStringLiteral("Aucun ordinateur Ovra n'est annoncé sur le réseau local")) +
                             giveAddress);
    if (candidates.size() > 1) {
        QStringList names;
        for (const FoundService& s : candidates) {
            const QByteArray name = s.txt.value(QStringLiteral("name"));
            names << QStringLiteral("« %1 » (%2:%3)").arg(name.isEmpty() ? s.name : QString::fromUtf8(name), s.address).arg(s.port);
        }
        co_return unexpected(QStringLiteral("Plusieurs ordinateurs Ovra sur le réseau local : ") +
                             names.join(QStringLiteral(", ")) + giveAddress);
    }
    co_return HelperTarget{candidates.first().address, candidates.first().port};
}
