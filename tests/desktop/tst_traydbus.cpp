// The tray item as a desktop panel sees it: a StatusNotifierWatcher of the test's own on a
// private session bus, the running `ovra` registering its item, the menu read through
// com.canonical.dbusmenu GetLayout and "Power Mode automatique" clicked through Event.
#include "X11Helpers.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDBusVariant>
#include <QTemporaryDir>

// The watcher a panel (KDE, GNOME's AppIndicator extension, waybar...) runs.
class Watcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    QStringList registered;
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return registered; }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message)
    {
        // Qt registers with its object path; the item lives at the caller's bus name.
        registered << (service.startsWith(QLatin1Char('/')) ? message.service() + service : service);
        Q_EMIT StatusNotifierItemRegistered(registered.last());
    }
    void RegisterStatusNotifierHost(const QString&) {}

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& item);
    void StatusNotifierItemUnregistered(const QString& item);
    void StatusNotifierHostRegistered();
};

namespace {
struct MenuItem
{
    int id = 0;
    QVariantMap properties;
    QList<MenuItem> children;
};

MenuItem readItem(const QDBusArgument& arg)
{
    MenuItem item;
    arg.beginStructure();
    arg >> item.id;
    arg >> item.properties;
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        item.children << readItem(child.variant().value<QDBusArgument>());
    }
    arg.endArray();
    arg.endStructure();
    return item;
}

// The menu as a panel shows it: hidden items left out.
MenuItem shown(MenuItem menu)
{
    menu.children.removeIf([](const MenuItem& c) {
        return c.properties.contains("visible") && !c.properties.value("visible").toBool();
    });
    return menu;
}

// "label", "---" for separators, "label >" for submenus, "[x]"/"[ ]" for toggles, "(off)" when disabled.
QStringList describe(const MenuItem& menu)
{
    QStringList out;
    for (const MenuItem& c : shown(menu).children) {
        if (c.properties.value("type").toString() == "separator") {
            out << "---";
            continue;
        }
        QString line = c.properties.value("label").toString();
        if (c.properties.value("children-display").toString() == "submenu")
            line += " >";
        if (!c.properties.value("toggle-type").toString().isEmpty()) // checkmark, or radio in a group
            line += c.properties.value("toggle-state").toInt() == 1 ? " [x]" : " [ ]";
        if (c.properties.contains("enabled") && !c.properties.value("enabled").toBool())
            line += " (off)";
        out << line;
    }
    return out;
}
} // namespace

class TrayDBusTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;
    QProcess m_app;
    Watcher m_watcher;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", m_home.filePath("data"));
        env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        // The tray's D-Bus menu, not an XEmbed window.
        env.insert("XDG_CURRENT_DESKTOP", "KDE");
        return env;
    }
    QString ovra(const QStringList& args)
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(QStringLiteral(OVRA_BINARY), args);
        p.waitForFinished(30000);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }
    QDBusMessage call(const QString& service, const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args)
    {
        QDBusMessage m = QDBusMessage::createMethodCall(service, path, interface, method);
        m.setArguments(args);
        return QDBusConnection::sessionBus().call(m, QDBus::Block, 10000);
    }

    QString m_service;
    QString m_menuPath;

    MenuItem layout()
    {
        const QDBusMessage reply = call(m_service, m_menuPath, "com.canonical.dbusmenu", "GetLayout",
                                        {0, -1, QStringList()});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
            return {};
        return readItem(reply.arguments().at(1).value<QDBusArgument>());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.isConnected());
        QVERIFY(bus.registerObject("/StatusNotifierWatcher", &m_watcher,
                                   QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                       QDBusConnection::ExportAllProperties));
        QVERIFY(bus.registerService("org.kde.StatusNotifierWatcher"));

        ovra({"modes", "add", "Courriel"});
        ovra({"modes", "add", "Code"});
        ovra({"modes", "activate", "Code"});
        ovra({"prompts", "add", "Résumé", "Résume en une phrase."});

        m_app.setProcessEnvironment(environment());
        m_app.start(QStringLiteral(OVRA_BINARY), {"--hidden"});
        QVERIFY(m_app.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!m_watcher.registered.isEmpty(), 20000);
        const QString item = m_watcher.registered.first();
        // A bus name (the item at /StatusNotifierItem) or a bus name followed by the path.
        const int slash = item.indexOf('/');
        m_service = slash < 0 ? item : item.left(slash);
        const QString path = slash < 0 ? QStringLiteral("/StatusNotifierItem") : item.mid(slash);
        const QDBusMessage menu = call(m_service, path, "org.freedesktop.DBus.Properties", "Get",
                                       {"org.kde.StatusNotifierItem", "Menu"});
        QVERIFY2(menu.type() == QDBusMessage::ReplyMessage, qPrintable(item + ": " + menu.errorMessage()));
        m_menuPath = menu.arguments().at(0).value<QDBusVariant>().variant().value<QDBusObjectPath>().path();
        QVERIFY(!m_menuPath.isEmpty());
    }

    void cleanupTestCase()
    {
        if (m_app.state() != QProcess::NotRunning) {
            m_app.terminate();
            if (!m_app.waitForFinished(10000)) {
                m_app.kill();
                m_app.waitForFinished();
            }
        }
    }

    void itemShowsTheMicrophone()
    {
        const QDBusMessage icon = call(m_service, "/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
                                       {"org.kde.StatusNotifierItem", "IconPixmap"});
        QCOMPARE(icon.type(), QDBusMessage::ReplyMessage);
        const QDBusMessage title = call(m_service, "/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
                                        {"org.kde.StatusNotifierItem", "ToolTip"});
        QCOMPARE(title.type(), QDBusMessage::ReplyMessage);
    }

    void menuAsAPanelReadsIt()
    {
        const MenuItem root = shown(layout());
        QCOMPARE(describe(root),
                 QStringList({"Mode actif : Code (off)", "Dicter", "Annuler la dictée (off)",
                              "Copier la dernière dictée (off)", "Dictées récentes > (off)", "---", "Mode >",
                              "Transformer la sélection >", "Power Mode automatique [x]", "---", "Ouvrir Ovra",
                              "Réglages…", "Rechercher les mises à jour… (off)", "---", "Quitter Ovra"}));
        QCOMPARE(describe(root.children.at(6)), QStringList({"Courriel [ ]", "Code [x]"}));
        QCOMPARE(describe(root.children.at(7)), QStringList({"Résumé"}));
    }

    void powerModeClickedFromThePanel()
    {
        const MenuItem before = shown(layout());
        const int id = before.children.at(8).id;
        const QDBusMessage reply = call(m_service, m_menuPath, "com.canonical.dbusmenu", "Event",
                                        {id, "clicked", QVariant::fromValue(QDBusVariant(QString())), 0u});
        QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE_WITH_TIMEOUT(ovra({"settings", "get", "ovra.mac.powerModeEnabled"}), QStringLiteral("false"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(describe(layout()).at(8), QStringLiteral("Power Mode automatique [ ]"), 10000);
    }
};

QTEST_MAIN(TrayDBusTest)
#include "tst_traydbus.moc"
