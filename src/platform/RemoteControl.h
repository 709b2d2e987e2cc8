#pragma once
// What another process may ask of the running desktop application: the dictation commands a
// compositor key binding runs (`ovra toggle`, `ovra ptt press|release`, ...), bringing the
// window forward, and the phone receiver. The application implements it; the command line
// reaches it through an implementation that speaks to the running program.
#include "store/Expected.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

struct RemoteHelperStatus
{
    bool enabled = false;
    bool running = false;
    bool advertised = false;
    bool autoPaste = false;
    quint16 port = 0;
    QString name;
    // Set while the pairing window is open.
    std::optional<QString> pairingCode;
    qint64 pairingSecondsLeft = 0;
    QStringList phones;
    // The last text received: when, from which phone, and how it was delivered ("collée").
    std::optional<QDateTime> lastReceivedDate;
    QString lastReceivedFrom;
    QString lastReceivedDelivery;
};

struct RemotePairingCode
{
    QString code;
    qint64 secondsLeft = 0;
};

class RemoteControl
{
public:
    virtual ~RemoteControl() = default;
    // Starts a dictation, or stops the one being recorded (the primary shortcut's behaviour is
    // not consulted: a binding that only runs on key-down needs a plain toggle).
    virtual Expected<void, QString> toggle() = 0;
    // Key-down / key-up of the push-to-talk shortcut.
    virtual Expected<void, QString> pushToTalk(bool pressed) = 0;
    virtual Expected<void, QString> cancel() = 0;
    // The selection transform, as its shortcut runs it.
    virtual Expected<void, QString> transform() = 0;
    // Brings the main window forward on a section (its key, "settings"…); empty: as it was.
    virtual Expected<void, QString> showWindow(const QString& section) = 0;

    virtual Expected<RemoteHelperStatus, QString> helperStatus() = 0;
    virtual Expected<void, QString> setHelperEnabled(bool enabled) = 0;
    // Opens the pairing window (switching the receiver on); the code to type on the phone.
    virtual Expected<RemotePairingCode, QString> startHelperPairing() = 0;
};
