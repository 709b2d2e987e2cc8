#pragma once
// Scripted stand-ins for what the transcription manager calls besides the cloud: the system
// recogniser, the on-device models, the silence trimmer and the network path monitor.
#include "platform/NetworkPathMonitor.h"
#include "transcription/LocalModelServices.h"
#include "transcription/SilenceTrimming.h"
#include "transcription/SystemRecognizer.h"

#include <QSet>
#include <QStringList>

class FakeSystemRecognizer : public SystemRecognizer
{
public:
    Expected<QString, AppleSpeechError> next = QStringLiteral("texte Apple");
    QStringList locales;
    QStringList files;

    QCoro::Task<Expected<QString, AppleSpeechError>> transcribe(QString file, QString localeIdentifier) override
    {
        files << file;
        locales << localeIdentifier;
        co_return next;
    }
};

class FakeLocalModels : public LocalModelServices
{
public:
    struct Call
    {
        LocalEngine engine;
        QString file;
        QString model;
        QString language;
        std::optional<int> chunk;
    };
    QSet<QString> downloaded;
    Expected<QString, LocalModelError> next = QStringLiteral("texte local");
    QList<Call> calls;
    QList<Call> integrityChecks;

    bool isDownloaded(const QString& modelID) const override { return downloaded.contains(modelID); }
    QCoro::Task<Expected<QString, LocalModelError>> transcribe(LocalEngine engine, QString file, QString modelID,
                                                              QString language, std::optional<int> chunkMs) override
    {
        calls.append({engine, file, modelID, language, chunkMs});
        co_return next;
    }
    void checkIntegrity(LocalEngine engine, QString modelID, std::optional<int> chunkMs) override
    {
        integrityChecks.append({engine, {}, modelID, {}, chunkMs});
    }
};

class FakeTrimmer : public SilenceTrimming
{
public:
    TrimOutcome next;
    QCoro::Task<TrimOutcome> trim(QString file) override
    {
        TrimOutcome o = next;
        if (o.kind == TrimOutcome::Kind::unchanged)
            o.file = file;
        co_return o;
    }
};

class FakeNetworkPathMonitor : public NetworkPathMonitor
{
public:
    bool started = false;
    int starts = 0;
    NetworkPathStatus status = NetworkPathStatus::satisfied;
    Handler handler;
    void start() override
    {
        started = true;
        ++starts;
    }
    bool isStarted() const override { return started; }
    NetworkPathStatus currentStatus() const override { return status; }
    void setHandler(Handler h) override { handler = std::move(h); }
    // The path changes: the handler hears it as the real monitor would tell it.
    void change(NetworkPathStatus s)
    {
        status = s;
        if (handler)
            handler(s);
    }
};
