#pragma once
// The focused application from the accessibility bus, where the desktop tells it no other way
// (GNOME on Wayland): window activations and focus changes are announced there by every
// accessible toolkit. The identifier is the program's file name in lower case, else its
// accessible name (AtspiApplicationId).
#include "AtspiConnection.h"
#include "platform/FrontmostApplication.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <optional>

class AtspiFrontmostApplication : public QObject, public FrontmostApplication
{
    Q_OBJECT
public:
    explicit AtspiFrontmostApplication(AtspiConnection& connection, QObject* parent = nullptr);

    // The accessibility bus can be reached (asked once, briefly).
    bool isAvailable() const override;
    // The application last activated; before any activation, the one whose window is active.
    QString frontmostApplicationId() override;
    void setActivationHandler(std::function<void(const QString& applicationId)> handler) override;

private Q_SLOTS:
    void onWindowActivated(const QDBusMessage& message);
    void onStateChanged(const QDBusMessage& message);

private:
    bool subscribe();
    void registerEvents();
    QCoro::Task<> activated(QString sender);
    QCoro::Task<QString> identifierOf(QString sender, QDeadlineTimer deadline);
    QString scanForActiveWindow();

    AtspiConnection& m_atspi;
    mutable std::optional<bool> m_available;
    bool m_subscribed = false;
    std::function<void(const QString&)> m_handler;
    QHash<QString, QString> m_identifiers; // bus name → application identifier
    QString m_current;
    QString m_lastReported;
    quint64 m_sequence = 0;
};
