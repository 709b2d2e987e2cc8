#pragma once
// The diagnostic journal: one text file every part of the program appends to. Best-effort:
// it never reports an error and never blocks its caller; all file work runs on its own thread.
#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QThread;

class DebugLog
{
public:
    using Clock = std::function<QDateTime()>;
    static constexpr const char* kFileName = "mirelo-debug.log";
    static constexpr qint64 kTrimThresholdBytes = 200001;
    static constexpr qsizetype kKeepCharacters = 100000;
    static constexpr qint64 kMaxAgeSeconds = 86400;
    static constexpr qint64 kPruneIntervalSeconds = 600;

    // folder empty: no container, every call does nothing.
    explicit DebugLog(const QString& folder, Clock clock = {});
    ~DebugLog();
    DebugLog(const DebugLog&) = delete;
    DebugLog& operator=(const DebugLog&) = delete;

    void log(const QString& message, const QString& category = QStringLiteral("APP"));
    // Waits for every line logged before it.
    QString contents() const;
    void clear();
    QString filePath() const { return m_path; }

private:
    class Writer;
    QString m_path;
    Clock m_clock;
    std::unique_ptr<QThread> m_thread;
    Writer* m_writer = nullptr;
};
