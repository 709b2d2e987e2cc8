// An application on the accessibility bus made by hand, as a browser's web content shows there:
// a window holding an address bar and documents that carry their own address (DocURL, or URI).
// Arguments: --name NAME, --bar TEXT, then documents as --page URL (shown), --hidden URL (a
// background tab, not shown), --shown-background URL (a background tab that still says it is
// shown), --uri URL (the address under URI instead of DocURL). Prints "ready" once registered.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QHash>
#include <QSocketNotifier>
#include <cstdio>

namespace {
struct Node
{
    uint role = 0;
    QString name;
    quint64 states = 0;
    QStringList children; // paths
    QString text;
    QHash<QString, QString> documentAttributes;
    QStringList interfaces;
};

struct Ref
{
    QString service;
    QDBusObjectPath path;
};
QDBusArgument& operator<<(QDBusArgument& out, const Ref& r)
{
    out.beginStructure();
    out << r.service << r.path;
    out.endStructure();
    return out;
}
const QDBusArgument& operator>>(const QDBusArgument& in, Ref& r)
{
    in.beginStructure();
    in >> r.service >> r.path;
    in.endStructure();
    return in;
}
} // namespace
Q_DECLARE_METATYPE(Ref)

namespace {
constexpr quint64 bit(int n) { return quint64(1) << n; }
const QString kPrefix = QStringLiteral("/org/a11y/atspi/accessible");

class Tree : public QDBusVirtualObject
{
public:
    QHash<QString, Node> nodes;

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const auto node = nodes.constFind(message.path());
        if (node == nodes.cend())
            return false;
        const QString member = message.member();
        QVariantList reply;
        if (member == QLatin1String("GetRole")) {
            reply << node->role;
        } else if (member == QLatin1String("GetState")) {
            reply << QVariant::fromValue(QList<uint>{uint(node->states & 0xffffffffu), uint(node->states >> 32)});
        } else if (member == QLatin1String("GetChildren")) {
            QList<Ref> children;
            for (const QString& child : node->children)
                children << Ref{connection.baseService(), QDBusObjectPath(child)};
            reply << QVariant::fromValue(children);
        } else if (member == QLatin1String("GetInterfaces")) {
            reply << node->interfaces;
        } else if (member == QLatin1String("Get") && message.arguments().value(1).toString() == QLatin1String("Name")) {
            reply << QVariant::fromValue(QDBusVariant(node->name));
        } else if (member == QLatin1String("GetAttributeValue") &&
                   message.interface() == QLatin1String("org.a11y.atspi.Document")) {
            reply << node->documentAttributes.value(message.arguments().value(0).toString());
        } else if (member == QLatin1String("GetText") && node->interfaces.contains(QStringLiteral("org.a11y.atspi.Text"))) {
            reply << node->text;
        } else {
            connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                                                     QStringLiteral("not here")));
            return true;
        }
        connection.send(message.createReply(reply));
        return true;
    }
};
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<Ref>();
    qDBusRegisterMetaType<QList<Ref>>();
    QCommandLineParser parser;
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("name"), QStringLiteral("name"));
    const QCommandLineOption bar(QStringLiteral("bar"), QStringLiteral("address bar"), QStringLiteral("text"));
    const QCommandLineOption page(QStringLiteral("page"), QStringLiteral("shown"), QStringLiteral("url"));
    const QCommandLineOption hidden(QStringLiteral("hidden"), QStringLiteral("hidden"), QStringLiteral("url"));
    const QCommandLineOption shownBackground(QStringLiteral("shown-background"), QStringLiteral("background"),
                                             QStringLiteral("url"));
    const QCommandLineOption uri(QStringLiteral("uri"), QStringLiteral("URI attribute"), QStringLiteral("url"));
    parser.addOptions({name, bar, page, hidden, shownBackground, uri});
    parser.process(app);

    const QDBusMessage addressReply = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"), QStringLiteral("org.a11y.Bus"),
        QStringLiteral("GetAddress")));
    QDBusConnection bus = QDBusConnection::connectToBus(addressReply.arguments().value(0).toString(),
                                                        QStringLiteral("a11y"));
    if (!bus.isConnected())
        return 1;

    const QStringList accessible{QStringLiteral("org.a11y.atspi.Accessible")};
    const quint64 shown = bit(25) | bit(30);
    Tree tree;
    tree.nodes[kPrefix + QStringLiteral("/root")] =
        Node{75, parser.value(name), 0, {kPrefix + QStringLiteral("/window")}, {}, {}, accessible};
    Node window{23, QStringLiteral("Fenêtre"), bit(1) | shown, {kPrefix + QStringLiteral("/toolbar")}, {}, {}, accessible};
    tree.nodes[kPrefix + QStringLiteral("/toolbar")] = Node{63, QString(), shown, {}, {}, {}, accessible};
    if (parser.isSet(bar)) {
        tree.nodes[kPrefix + QStringLiteral("/toolbar")].children << kPrefix + QStringLiteral("/bar");
        tree.nodes[kPrefix + QStringLiteral("/bar")] =
            Node{79, QStringLiteral("Search or enter address"), shown | bit(7), {}, parser.value(bar), {},
                 {QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("org.a11y.atspi.Text")}};
    }
    int count = 0;
    const auto addDocument = [&](const QString& url, quint64 states, const QString& attribute) {
        const QString path = kPrefix + QStringLiteral("/doc%1").arg(count++);
        // Tabs sit one level below the window, inside a grouping, as in the browsers.
        const QString tab = path + QStringLiteral("tab");
        window.children << tab;
        tree.nodes[tab] = Node{39, QString(), states, {path}, {}, {}, accessible};
        tree.nodes[path] = Node{95, QStringLiteral("Page"), states, {}, {}, {{attribute, url}},
                                {QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("org.a11y.atspi.Document")}};
    };
    for (const QString& url : parser.values(page))
        addDocument(url, shown, QStringLiteral("DocURL"));
    for (const QString& url : parser.values(uri))
        addDocument(url, shown, QStringLiteral("URI"));
    for (const QString& url : parser.values(hidden))
        addDocument(url, 0, QStringLiteral("DocURL"));
    for (const QString& url : parser.values(shownBackground))
        addDocument(url, shown, QStringLiteral("DocURL"));
    tree.nodes[kPrefix + QStringLiteral("/window")] = window;

    if (!bus.registerVirtualObject(kPrefix, &tree, QDBusConnection::SubPath))
        return 1;
    // Joins the registry's list of applications, as toolkits do.
    QDBusMessage embed = QDBusMessage::createMethodCall(QStringLiteral("org.a11y.atspi.Registry"),
                                                       kPrefix + QStringLiteral("/root"),
                                                       QStringLiteral("org.a11y.atspi.Socket"), QStringLiteral("Embed"));
    embed.setArguments({QVariant::fromValue(Ref{bus.baseService(), QDBusObjectPath(kPrefix + QStringLiteral("/root"))})});
    const QDBusMessage embedded = bus.call(embed);
    if (embedded.type() == QDBusMessage::ErrorMessage) {
        std::fprintf(stderr, "embed: %s\n", qPrintable(embedded.errorMessage()));
        return 1;
    }
    // Ends when its standard input closes.
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[256];
        if (!std::fgets(buffer, sizeof buffer, stdin)) {
            input.setEnabled(false);
            QCoreApplication::quit();
        }
    });
    std::puts("ready");
    std::fflush(stdout);
    return app.exec();
}
