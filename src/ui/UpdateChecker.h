#pragma once
// "Rechercher les mises à jour…": reads a JSON version feed over HTTPS ("ovra.mac.updateFeedURL",
// {"version": "1.2.0", "url": "https://…", "notes": "…"}) and compares it with this version.
// Without a usable feed address no check is possible and the menu items are disabled.
#include <QCoroTask>
#include <QNetworkAccessManager>
#include <QObject>
#include <QUrl>
#include <QVersionNumber>
#include <variant>

class Settings;

class UpdateChecker : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* kFeedKey = "ovra.mac.updateFeedURL";

    struct UpToDate
    {
    };
    struct Available
    {
        QString version;
        QUrl url;
        QString notes;
    };
    struct Failed
    {
        QString message;
    };
    using Result = std::variant<UpToDate, Available, Failed>;

    UpdateChecker(Settings& settings, QString currentVersion, QObject* parent = nullptr);

    // The feed address when it is usable: https, or http to this machine (tests).
    std::optional<QUrl> feedURL() const;
    bool canCheck() const { return feedURL().has_value() && !m_checking; }
    QCoro::Task<Result> check();
    // Reads a feed document against the running version.
    static Result parseFeed(const QByteArray& body, const QString& currentVersion);

Q_SIGNALS:
    void canCheckChanged(bool canCheck);

private:
    void setChecking(bool checking);

    Settings& m_settings;
    QString m_currentVersion;
    QNetworkAccessManager m_network;
    bool m_checking = false;
};
