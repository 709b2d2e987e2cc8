#pragma once
// What the streaming NVIDIA services (Parakeet Unified, Nemotron) ask of the engine that runs
// their models: download and load a model (with a chunk size for Nemotron) into a folder, and
// turn 16 kHz mono samples into text. No engine on this system runs them yet; the unavailable
// one says so, and the services around it keep their states and journal as they will with one.
#include "store/Expected.h"

#include <QCoroTask>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <span>

class NvidiaAsrModel
{
public:
    virtual ~NvidiaAsrModel() = default;
    // Called off the main thread.
    virtual Expected<QString, QString> transcribe(std::span<const float> samples, const QString& language) = 0;
};

class NvidiaAsrEngine
{
public:
    using Progress = std::function<void(double fraction)>;
    virtual ~NvidiaAsrEngine() = default;
    // Downloads what is missing into the folder (progress 0…1), then loads; stops early once
    // `cancelled` is set.
    virtual QCoro::Task<Expected<std::shared_ptr<NvidiaAsrModel>, QString>>
    load(QString modelID, std::optional<int> chunkMs, QString folder, Progress progress,
         std::shared_ptr<std::atomic_bool> cancelled) = 0;
    // The model's files are all in the folder.
    virtual bool isComplete(const QString& modelID, const QString& folder) const = 0;
};

class UnavailableNvidiaEngine : public NvidiaAsrEngine
{
public:
    QCoro::Task<Expected<std::shared_ptr<NvidiaAsrModel>, QString>> load(QString, std::optional<int>, QString, Progress,
                                                                         std::shared_ptr<std::atomic_bool>) override
    {
        co_return unexpected(QStringLiteral("moteur indisponible sur ce système"));
    }
    bool isComplete(const QString&, const QString&) const override { return false; }
};
