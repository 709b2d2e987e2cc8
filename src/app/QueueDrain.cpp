#include "QueueDrain.h"

#include "Services.h"
#include "platform/linux/dbus/DBusControlClient.h"
#include "transcription/ManagedTranscriber.h"

#include <QJsonArray>
#include <QTextStream>

bool QueueDrain::desktopApplicationRunning()
{
    DBusControlClient app;
    return app.waitUntilRunning(std::chrono::milliseconds(0));
}

QCoro::Task<QueueDrain::Report> QueueDrain::run(Services& services)
{
    ManagedTranscriber transcriber(services.transcription());
    auto draining = services.offlineQueue().drainOnce(transcriber, services.claude());
    co_return co_await draining;
}

QStringList QueueDrain::transcribedLines(const Report& report, Services& services)
{
    QStringList lines;
    for (const QUuid& id : report.transcribed)
        if (const auto t = services.store().find<Transcription>(id))
            lines << t->createdAt.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) + QStringLiteral("  ") +
                         t->text;
    return lines;
}

QJsonObject QueueDrain::toJson(const Report& report, Services& services)
{
    QJsonArray transcribed;
    for (const QUuid& id : report.transcribed)
        if (const auto t = services.store().find<Transcription>(id))
            transcribed.append(QJsonObject{{QStringLiteral("id"), uuidText(t->id)},
                                           {QStringLiteral("createdAt"), DateTime::toIsoMillis(t->createdAt)},
                                           {QStringLiteral("text"), t->text}});
    return {{QStringLiteral("transcribed"), transcribed},
            {QStringLiteral("dropped"), QJsonArray::fromStringList(report.dropped)},
            {QStringLiteral("setAside"), QJsonArray::fromStringList(report.setAside)},
            {QStringLiteral("pending"), services.offlineQueue().pendingCount()}};
}

bool QueueDrain::reportProblems(const Report& report, Services& services, QTextStream& err)
{
    if (report.busy)
        err << "Un autre processus transcrit déjà les dictées en attente.\n";
    for (const QString& d : report.dropped)
        err << "Abandonnée — " << d << "\n";
    for (const QString& s : report.setAside)
        err << "Écartée dans « " << OfflineTranscriptionQueue::kSetAsideFolderName << " » — " << s << "\n";
    if (report.offline)
        err << QStringLiteral("Réseau injoignable : %1 dictée(s) reste(nt) en attente.\n")
                   .arg(services.offlineQueue().pendingCount());
    return report.busy || report.offline || !report.dropped.isEmpty() || !report.setAside.isEmpty();
}
