#pragma once
// An offline queue over a temporary folder with a store, settings, journal and scripted fakes.
#include "FakeAIServices.h"
#include "FakeTranscriptionServices.h"
#include "store/DebugLog.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "transcription/OfflineTranscriptionQueue.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

inline TranscriptionError offlineError()
{
    return TranscriptionError::fromAPI(APIError::transport(URLError::Code::notConnectedToInternet));
}

struct OfflineQueueFixture
{
    explicit OfflineQueueFixture(const QString& root) : m_root(root) {}

    QString m_root;
    QString queueFolder = m_root + QStringLiteral("/data/PendingTranscriptions");
    FakeNetworkPathMonitor monitor;
    Settings settings{m_root + QStringLiteral("/config")};
    DebugLog log{m_root + QStringLiteral("/data")};
    std::unique_ptr<RecordStore> store =
        std::move(RecordStore::open(m_root + QStringLiteral("/data/ovra.sqlite"), {}).value());
    QDateTime clock = QDateTime::fromString(QStringLiteral("2026-03-15T12:00:00Z"), Qt::ISODate);
    // Stands in for the failed dictations' keep; unset, a dropped item's recording is deleted.
    std::function<bool(const QString&, const PendingMeta&, const QString&)> keepFailed;
    OfflineTranscriptionQueue queue{
        queueFolder,
        {monitor, *store, settings, log, nullptr, nullptr, [this] { return clock; },
         [this](const QString& audio, const PendingMeta& item, const QString& error) {
             return keepFailed && keepFailed(audio, item, error);
         }}};

    // A recording in the temporary folder, as the recorder leaves it.
    QString recording(const QString& name = QStringLiteral("dictee.m4a"))
    {
        QDir().mkpath(m_root + QStringLiteral("/run"));
        const QString path = m_root + QStringLiteral("/run/") + name;
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write("not really AAC, the transcriber is a fake");
        return path;
    }

    static TranscriptionMode mode(const QString& name = QStringLiteral("Normal"))
    {
        TranscriptionMode m;
        m.name = name;
        m.transcriptionProviderRaw = QStringLiteral("openai");
        m.transcriptionModel = QStringLiteral("gpt-4o-transcribe");
        m.language = QStringLiteral("fr");
        return m;
    }

    QStringList queueFiles() const
    {
        return QDir(queueFolder).entryList(QDir::Files, QDir::Name);
    }
};
