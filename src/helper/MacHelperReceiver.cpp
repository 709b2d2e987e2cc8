#include "MacHelperReceiver.h"

#include "HelperDelivery.h"
#include "HelperListener.h"
#include "ai/KeychainManager.h"
#include "platform/ServiceAdvertiser.h"
#include "store/AppSettingsKeys.h"
#include "store/DateTime.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QCoroFuture>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QUuid>
#include <QtConcurrent>

QString HelperReceived::deliveryText() const
{
    return pasted ? QStringLiteral("collée") : QStringLiteral("presse-papier");
}

MacHelperReceiver::MacHelperReceiver(Settings& settings, KeychainManager& keychain, HelperDelivery& delivery,
                                     DebugLog& log, ServiceAdvertiser* advertiser, Options options, QObject* parent)
    : QObject(parent), m_settings(settings), m_keychain(keychain), m_delivery(delivery), m_log(log),
      m_advertiser(advertiser), m_options(std::move(options))
{
    qRegisterMetaType<Message>("Message");
    m_helperName = m_options.helperName.trimmed().isEmpty() ? QStringLiteral("Mac") : m_options.helperName.trimmed();
    m_derivations.setMaxThreadCount(1);

    m_listener = new HelperListener(m_options.maxConnections, m_options.connectionLifetime);
    m_listener->moveToThread(&m_thread);
    m_thread.setObjectName(QStringLiteral("OvraHelper"));
    connect(m_listener, &HelperListener::ready, this, &MacHelperReceiver::onReady);
    connect(m_listener, &HelperListener::failed, this, &MacHelperReceiver::onFailed);
    connect(m_listener, &HelperListener::request, this, &MacHelperReceiver::onRequest);
    m_thread.start();

    m_restart.setSingleShot(true);
    connect(&m_restart, &QTimer::timeout, this, [this] {
        if (m_enabled)
            startListener();
    });
    if (m_advertiser)
        m_advertiser->setHandler([this](bool advertised, const QString& error) {
            if (!advertised && !error.isEmpty())
                m_log.log(QStringLiteral("OvraHelper: annonce impossible — ") + error);
            if (advertised != m_advertised) {
                m_advertised = advertised;
                Q_EMIT advertisedChanged(advertised);
            }
        });

    m_helperID = m_settings.stringValue(QString(AppSettingsKey::helperID)).value_or(QString());
    if (QUuid(m_helperID).isNull()) {
        m_helperID = uuidText(QUuid::createUuid());
        m_settings.setValue(QString(AppSettingsKey::helperID), m_helperID);
    }
    loadPhones();
}

MacHelperReceiver::~MacHelperReceiver()
{
    if (m_advertiser)
        m_advertiser->setHandler({});
    HelperListener* listener = m_listener;
    QMetaObject::invokeMethod(listener, [listener] { delete listener; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    m_derivations.waitForDone();
}

void MacHelperReceiver::start()
{
    m_enabled = m_settings.boolValue(QString(AppSettingsKey::helperEnabled), false);
    m_autoPaste = m_settings.boolValue(QString(AppSettingsKey::helperAutoPaste), false);
    if (m_enabled)
        startListener();
}

void MacHelperReceiver::setEnabled(bool enabled)
{
    m_settings.setValue(QString(AppSettingsKey::helperEnabled), enabled);
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (enabled)
        startListener();
    else
        stopListener();
    Q_EMIT isEnabledChanged(enabled);
}

void MacHelperReceiver::setAutoPaste(bool autoPaste)
{
    m_settings.setValue(QString(AppSettingsKey::helperAutoPaste), autoPaste);
    if (autoPaste == m_autoPaste)
        return;
    m_autoPaste = autoPaste;
    Q_EMIT autoPasteChanged(autoPaste);
}

void MacHelperReceiver::startListener()
{
    m_restart.stop();
    const qint64 wanted = m_settings.intValue(QString(AppSettingsKey::helperPort), 0);
    const quint16 port = wanted > 0 && wanted <= 65535 ? quint16(wanted) : 0;
    HelperListener* listener = m_listener;
    QMetaObject::invokeMethod(listener, [listener, port] { listener->start(port); }, Qt::QueuedConnection);
}

void MacHelperReceiver::stopListener()
{
    m_restart.stop();
    // Waits for the port to close, so that "off" means nobody can connect any more.
    HelperListener* listener = m_listener;
    QMetaObject::invokeMethod(listener, [listener] { listener->stop(); }, Qt::BlockingQueuedConnection);
    if (m_advertiser)
        m_advertiser->withdraw();
    if (m_advertised) {
        m_advertised = false;
        Q_EMIT advertisedChanged(false);
    }
    setRunning(false, 0);
}

void MacHelperReceiver::onReady(quint16 port)
{
    if (!m_enabled) {
        // Switched off while the listener was starting.
        HelperListener* listener = m_listener;
        QMetaObject::invokeMethod(listener, [listener] { listener->stop(); }, Qt::QueuedConnection);
        return;
    }
    m_log.log(QStringLiteral("OvraHelper: à l'écoute (port %1)").arg(port));
    setRunning(true, port);
    advertise();
}

void MacHelperReceiver::onFailed(const QString& error)
{
    m_log.log(QStringLiteral("OvraHelper: écouteur impossible — ") + error);
    if (m_advertiser)
        m_advertiser->withdraw();
    setRunning(false, 0);
    if (m_enabled)
        m_restart.start(m_options.restartDelay);
}

void MacHelperReceiver::setRunning(bool running, quint16 port)
{
    if (port != m_port) {
        m_port = port;
        Q_EMIT portChanged(port);
    }
    if (running != m_running) {
        m_running = running;
        Q_EMIT isRunningChanged(running);
    }
}

void MacHelperReceiver::advertise()
{
    if (!m_advertiser)
        return;
    m_advertiser->publish(QStringLiteral("Ovra Helper — ") + m_helperName, QString::fromLatin1(kServiceType), m_port,
                          {{QStringLiteral("id"), m_helperID.toUtf8()}, {QStringLiteral("name"), m_helperName.toUtf8()}});
}

void MacHelperReceiver::startPairing()
{
    const auto code = HelperProtocol::generatePairingCode();
    if (!code) {
        m_log.log(QStringLiteral("OvraHelper: code d'association impossible (générateur aléatoire)"));
        return;
    }
    m_pairingCode = *code;
    m_pairingUntil = now().addSecs(kPairingSeconds);
    m_pairTries = 0;
    ++m_pairingWindow;
    Q_EMIT pairingChanged();
    if (!m_enabled)
        setEnabled(true);
}

void MacHelperReceiver::endPairing()
{
    const bool wasOpen = m_pairingCode || m_pairingUntil;
    m_pairingCode.reset();
    m_pairingUntil.reset();
    ++m_pairingWindow;
    if (wasOpen)
        Q_EMIT pairingChanged();
}

void MacHelperReceiver::removePhone(const QString& id)
{
    forgetPhone(id);
}

bool MacHelperReceiver::pairingOpen() const
{
    return m_pairingCode && m_pairingUntil && now() < *m_pairingUntil;
}

QDateTime MacHelperReceiver::now() const
{
    return m_options.clock ? m_options.clock() : QDateTime::currentDateTimeUtc();
}

void MacHelperReceiver::reply(quint64 connection, const Message& message)
{
    HelperListener* listener = m_listener;
    QMetaObject::invokeMethod(listener, [listener, connection, message] { listener->reply(connection, message); },
                              Qt::QueuedConnection);
}

void MacHelperReceiver::onRequest(quint64 connection, const Message& message)
{
    if (message.type == HelperMessageType::ping) {
        Message pong;
        pong.type = HelperMessageType::pong;
        pong.helperID = m_helperID;
        pong.helperName = m_helperName;
        pong.paired = message.deviceID && isPaired(*message.deviceID);
        reply(connection, pong);
    } else if (message.type == HelperMessageType::pair) {
        handlePair(connection, message);
    } else if (message.type == HelperMessageType::push) {
        handlePush(connection, message);
    } else if (message.type == HelperMessageType::unpair) {
        handleUnpair(connection, message);
    } else {
        reply(connection, Message::error(HelperReason::unknownType));
    }
}

QCoro::Task<> MacHelperReceiver::handlePair(quint64 connection, Message message)
{
    if (!pairingOpen()) {
        if (m_pairingUntil)
            endPairing(); // expired
        reply(connection, Message::error(HelperReason::notPairing));
        co_return;
    }
    // Every pending derivation ends the window or uses one of its tries: a request beyond
    // them could only get "notPairing", so it never costs a derivation.
    if (m_pairTries + m_derivationsInFlight >= kMaxPairTries) {
        reply(connection, Message::error(HelperReason::notPairing));
        co_return;
    }
    if (!message.deviceID || message.deviceID->isEmpty() || !message.nonce || !message.payload
        || message.payload->size() < HelperProtocol::kTagLength) {
        countFailedPairing();
        reply(connection, Message::error(HelperReason::badCode));
        co_return;
    }

    const QString code = *m_pairingCode;
    const QString deviceID = *message.deviceID;
    const quint64 window = m_pairingWindow;
    ++m_derivationsInFlight;
    QPointer<MacHelperReceiver> self(this);
    // A named future: GCC 12 mishandles a capturing lambda temporary inside a co_await operand.
    QFuture<QByteArray> derivation =
        QtConcurrent::run(&m_derivations, [code, deviceID] { return HelperProtocol::deriveKey(code, deviceID); });
    const QByteArray key = co_await derivation;
    if (!self)
        co_return;
    --m_derivationsInFlight;
    if (window != m_pairingWindow || !pairingOpen()) {
        reply(connection, Message::error(HelperReason::notPairing));
        co_return;
    }

    std::optional<PairPayload> payload;
    if (auto opened = HelperProtocol::open(*message.payload, key, *message.nonce, deviceID))
        payload = PairPayload::fromJson(*opened);
    if (!payload || !HelperProtocol::isValidSecret(payload->secret)) {
        countFailedPairing();
        reply(connection, Message::error(HelperReason::badCode));
        co_return;
    }

    if (auto saved = m_keychain.save(payload->secret, secretAccount(deviceID)); !saved) {
        // Without its secret the phone could never send: refuse rather than half-pair it.
        m_log.log(QStringLiteral("OvraHelper: secret non enregistré — ") + saved.error().message());
        reply(connection, Message::error(HelperReason::badCode));
        co_return;
    }
    m_secrets.insert(deviceID, payload->secret);
    // Pairing again replaces the phone's entry.
    m_phones.removeIf([&](const HelperPairedPhone& p) { return p.id == deviceID; });
    m_phones.append({deviceID, message.deviceName.value_or(QStringLiteral("iPhone")), now(), message.deviceType});
    storePhones();
    Q_EMIT pairedPhonesChanged();
    m_pairTries = 0;
    endPairing();
    m_log.log(QStringLiteral("OvraHelper: téléphone associé — ") + m_phones.last().name);

    Message ok;
    ok.type = HelperMessageType::pairOK;
    ok.helperID = m_helperID;
    ok.helperName = m_helperName;
    reply(connection, ok);
}

void MacHelperReceiver::countFailedPairing()
{
    if (++m_pairTries >= kMaxPairTries) {
        m_pairTries = 0;
        endPairing();
    }
}

Expected<QByteArray, QLatin1String> MacHelperReceiver::openFromPhone(const Message& message)
{
    if (!message.deviceID || !isPaired(*message.deviceID))
        return unexpected(HelperReason::unpaired);
    const auto secret = secretFor(*message.deviceID);
    if (!secret)
        return unexpected(HelperReason::unpaired);
    if (!message.nonce || !message.payload || message.payload->size() < HelperProtocol::kTagLength)
        return unexpected(HelperReason::badPayload);
    auto opened = HelperProtocol::open(*message.payload, *secret, *message.nonce, *message.deviceID);
    if (!opened)
        return unexpected(HelperReason::badPayload);
    return *opened;
}

bool MacHelperReceiver::rememberNonce(const QString& deviceID, const QByteArray& nonce)
{
    // Only authenticated requests get here, so the table grows with genuine traffic only.
    const qint64 nowSeconds = now().toSecsSinceEpoch();
    for (auto it = m_seenNonces.begin(); it != m_seenNonces.end();) {
        if (nowSeconds - it.value() >= 2 * HelperProtocol::kStaleSeconds)
            it = m_seenNonces.erase(it);
        else
            ++it;
    }
    const QByteArray key = deviceID.toUtf8() + '\0' + nonce;
    if (m_seenNonces.contains(key))
        return false;
    m_seenNonces.insert(key, nowSeconds);
    return true;
}

void MacHelperReceiver::handlePush(quint64 connection, const Message& message)
{
    auto opened = openFromPhone(message);
    if (!opened) {
        reply(connection, Message::error(opened.error()));
        return;
    }
    const auto payload = PushPayload::fromJson(*opened);
    if (!payload) {
        reply(connection, Message::error(HelperReason::badPayload));
        return;
    }
    // A request seen before is a replay, however fresh its date.
    if (!HelperProtocol::isFresh(payload->sentAt, now()) || !rememberNonce(*message.deviceID, *message.nonce)) {
        reply(connection, Message::error(HelperReason::stale));
        return;
    }
    bool pasted = false;
    if (m_autoPaste)
        pasted = m_delivery.pasteAtCursor(payload->text);
    else
        m_delivery.copyToClipboard(payload->text);
    m_lastReceived = HelperReceived{now(), payload->deviceName, pasted};
    Q_EMIT lastReceivedChanged();
    Message ok;
    ok.type = HelperMessageType::ok;
    reply(connection, ok);
}

void MacHelperReceiver::handleUnpair(quint64 connection, const Message& message)
{
    auto opened = openFromPhone(message);
    if (!opened) {
        reply(connection, Message::error(opened.error()));
        return;
    }
    const auto payload = UnpairPayload::fromJson(*opened);
    if (!payload) {
        reply(connection, Message::error(HelperReason::badPayload));
        return;
    }
    if (!HelperProtocol::isFresh(payload->sentAt, now()) || !rememberNonce(*message.deviceID, *message.nonce)) {
        reply(connection, Message::error(HelperReason::stale));
        return;
    }
    forgetPhone(*message.deviceID);
    Message ok;
    ok.type = HelperMessageType::ok;
    reply(connection, ok);
}

bool MacHelperReceiver::isPaired(const QString& id) const
{
    return std::any_of(m_phones.begin(), m_phones.end(), [&](const HelperPairedPhone& p) { return p.id == id; });
}

std::optional<QByteArray> MacHelperReceiver::secretFor(const QString& id)
{
    if (auto it = m_secrets.constFind(id); it != m_secrets.constEnd())
        return *it;
    auto secret = m_keychain.read(secretAccount(id));
    if (secret && HelperProtocol::isValidSecret(*secret))
        m_secrets.insert(id, *secret);
    else
        secret.reset();
    return secret;
}

void MacHelperReceiver::forgetPhone(const QString& id)
{
    const bool removed = m_phones.removeIf([&](const HelperPairedPhone& p) { return p.id == id; }) > 0;
    m_secrets.remove(id);
    m_keychain.remove(secretAccount(id));
    if (removed) {
        storePhones();
        Q_EMIT pairedPhonesChanged();
    }
}

QString MacHelperReceiver::secretAccount(const QString& id)
{
    return QLatin1String(kSecretAccountPrefix) + id;
}

void MacHelperReceiver::loadPhones()
{
    QVariant stored = m_settings.value(QString(AppSettingsKey::helperPhones));
    // Also read the list when it was stored as JSON text.
    if (stored.typeId() == QMetaType::QString || stored.typeId() == QMetaType::QByteArray)
        stored = QJsonDocument::fromJson(stored.toByteArray()).toVariant();
    m_phones.clear();
    m_unreadablePhones.clear();
    for (const QVariant& entry : stored.toList()) {
        if (auto phone = HelperPairedPhone::fromVariant(entry); phone && !isPaired(phone->id))
            m_phones.append(*phone);
        else
            m_unreadablePhones.append(entry);
    }
}

void MacHelperReceiver::storePhones()
{
    QVariantList list;
    for (const auto& p : m_phones)
        list.append(p.toVariant());
    list.append(m_unreadablePhones);
    m_settings.setValue(QString(AppSettingsKey::helperPhones), list);
}
