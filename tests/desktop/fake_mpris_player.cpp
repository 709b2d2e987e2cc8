// A media player for tests: owns "org.mpris.MediaPlayer2.<name>" on the session bus and answers
// PlaybackStatus, Pause and Play like a real one. Usage:
// fake_mpris_player NAME STATUS [--refuse] [--slow MS]
// (--refuse: Pause and Play fail with an access error; --slow: they take effect and answer MS
// milliseconds later, as a busy player does). Prints each call on stdout.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QTextStream>
#include <QTimer>

class FakePlayer : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
public:
    QString status;
    bool refuse = false;
    int slowMs = 0;
    QString playbackStatus() const { return status; }

public Q_SLOTS:
    void Pause() { change(QStringLiteral("Paused")); }
    void Play() { change(QStringLiteral("Playing")); }

private:
    void change(const QString& next)
    {
        if (refuse) {
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("refused by the player"));
            return;
        }
        if (slowMs > 0) {
            setDelayedReply(true);
            QTimer::singleShot(slowMs, this, [this, next, request = message(), bus = connection()]() mutable {
                status = next;
                bus.send(request.createReply());
                QTextStream(stdout) << next << Qt::endl;
            });
            return;
        }
        status = next;
        QTextStream(stdout) << next << Qt::endl;
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    FakePlayer player;
    player.status = args[2];
    player.refuse = args.contains(QStringLiteral("--refuse"));
    if (const qsizetype slow = args.indexOf(QStringLiteral("--slow")); slow > 0 && slow + 1 < args.size())
        player.slowMs = args[slow + 1].toInt();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/mpris/MediaPlayer2"), &player,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties) ||
        !bus.registerService(QStringLiteral("org.mpris.MediaPlayer2.") + args[1]))
        return 1;
    return app.exec();
}
#include "fake_mpris_player.moc"
