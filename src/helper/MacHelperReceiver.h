#pragma once
// Lets the user's paired phones send dictated text to this computer: a TCP listener on the
// local network (on its own thread), the pairing window with its six-digit code, one secret per
// phone in the secret store, and delivery of each authenticated text at the cursor or on the
// clipboard. Lives on the main thread.
#include "HelperPairedPhone.h"
#include "HelperProtocol.h"

#include <QCoroTask>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class DebugLog;
class HelperDelivery;
class HelperListener;
class KeychainManager;
class ServiceAdvertiser;
class Settings;

struct HelperReceived
{
    QDateTime date;
    QString deviceName;
    bool pasted = false;
    // "collée" or "presse-papier", as the window shows it.
    QString deliveryText() const;
};

class MacHelperReceiver : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isEnabled READ isEnabled WRITE setEnabled NOTIFY isEnabledChanged)
    Q_PROPERTY(bool autoPaste READ autoPaste WRITE setAutoPaste NOTIFY autoPasteChanged)
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
public:
    using Clock = std::function<QDateTime()>;
    static constexpr const char* kServiceType = "_ovra-helper._tcp";
    static constexpr const char* kSecretAccountPrefix = "mirelo.helper.phoneSecret.";
    static constexpr int kMaxPairTries = 5;
    static constexpr qint64 kPairingSeconds = 120;

    struct Options
    {
        // The host's user-visible name; "Mac" when empty.
        QString helperName;
        int maxConnections = 16;
        std::chrono::milliseconds connectionLifetime{15000};
        std::chrono::milliseconds restartDelay{3000};
        // Wall clock for the pairing window and the freshness of requests; the system's by default.
        Clock clock;
    };

    // advertiser may be null: the receiver then listens without announcing itself.
    MacHelperReceiver(Settings& settings, KeychainManager& keychain, HelperDelivery& delivery, DebugLog& log,
                      ServiceAdvertiser* advertiser, Options options, QObject* parent = nullptr);
    ~MacHelperReceiver() override;

    // Start-up: reads the settings and starts listening when enabled.
    void start();

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    bool autoPaste() const { return m_autoPaste; }
    void setAutoPaste(bool autoPaste);
    bool isRunning() const { return m_running; }
    // The port listened on; 0 while not running.
    quint16 port() const { return m_port; }
    // Whether the local network was told about the service; if not, phones need address and port.
    bool isAdvertised() const { return m_advertised; }
    QString helperID() const { return m_helperID; }
    QString helperName() const { return m_helperName; }
    const QList<HelperPairedPhone>& pairedPhones() const { return m_phones; }
    std::optional<QString> pairingCode() const { return m_pairingCode; }
    std::optional<QDateTime> pairingUntil() const { return m_pairingUntil; }
    int pairTries() const { return m_pairTries; }
    std::optional<HelperReceived> lastReceived() const { return m_lastReceived; }

    // Opens a pairing window of 120 s with a new code; switches the receiver on when off.
    void startPairing();
    void endPairing();
    void removePhone(const QString& id);

Q_SIGNALS:
    void isEnabledChanged(bool enabled);
    void autoPasteChanged(bool autoPaste);
    void isRunningChanged(bool running);
    void portChanged(quint16 port);
    void advertisedChanged(bool advertised);
    void pairedPhonesChanged();
    void pairingChanged();
    void lastReceivedChanged();

private:
    void startListener();
    void stopListener();
    void onReady(quint16 port);
    void onFailed(const QString& error);
    void setRunning(bool running, quint16 port);
    void advertise();

    void onRequest(quint64 connection, const Message& message);
    void reply(quint64 connection, const Message& message);
    QCoro::Task<> handlePair(quint64 connection, Message message);
    void handlePush(quint64 connection, const Message& message);
    void handleUnpair(quint64 connection, const Message& message);
    // The opened payload of a push or unpair, or the reason to refuse it.
    Expected<QByteArray, QLatin1String> openFromPhone(const Message& message);
    bool rememberNonce(const QString& deviceID, const QByteArray& nonce);
    void countFailedPairing();
    bool pairingOpen() const;
    QDateTime now() const;

    bool isPaired(const QString& id) const;
    std::optional<QByteArray> secretFor(const QString& id);
    void loadPhones();
    void storePhones();
    void forgetPhone(const QString& id);
    static QString secretAccount(const QString& id);

    Settings& m_settings;
    KeychainManager& m_keychain;
    HelperDelivery& m_delivery;
    DebugLog& m_log;
    ServiceAdvertiser* m_advertiser;
    Options m_options;

    QThread m_thread;
    HelperListener* m_listener = nullptr;
    QTimer m_restart;
    // Key derivations run here, one at a time, away from the listener and the main thread.
    QThreadPool m_derivations;
    int m_derivationsInFlight = 0;

    bool m_enabled = false;
    bool m_autoPaste = false;
    bool m_running = false;
    bool m_advertised = false;
    quint16 m_port = 0;
    QString m_helperID;
    QString m_helperName;
    QList<HelperPairedPhone> m_phones;
    // Stored entries this version cannot read, written back untouched.
    QVariantList m_unreadablePhones;
    QHash<QString, QByteArray> m_secrets;
    // Nonces of accepted requests still inside the freshness window, so a replay is refused.
    QHash<QByteArray, qint64> m_seenNonces;
    std::optional<QString> m_pairingCode;
    std::optional<QDateTime> m_pairingUntil;
    quint64 m_pairingWindow = 0;
    int m_pairTries = 0;
    std::optional<HelperReceived> m_lastReceived;
};
