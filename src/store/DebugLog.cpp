#include "DebugLog.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QThread>
#include <optional>

class DebugLog::Writer : public QObject
{
public:
    Writer(QString path, Clock clock) : m_path(std::move(path)), m_clock(std::move(clock)) {}

    void append(const QByteArray& bytes)
    {
        QFile file(m_path);
        if (!m_checkedPermissions && file.exists()) {
            // A journal from an older version may still be readable by others.
            file.setPermissions(kOwnerOnly);
            m_checkedPermissions = true;
        }
        if (!file.exists() || !file.open(QIODevice::WriteOnly | QIODevice::Append))
            writeWhole(bytes);
        else {
            file.write(bytes);
            file.close();
        }
        capSize();
        pruneOldLines();
    }

    QString contents() const
    {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll());
    }

    void clear() { writeWhole({}); }

private:
    void writeWhole(const QByteArray& bytes)
    {
        const QString folder = QFileInfo(m_path).absolutePath();
        if (!QFileInfo::exists(folder) && QDir().mkpath(folder))
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QSaveFile out(m_path);
        if (out.open(QIODevice::WriteOnly)) {
            out.setPermissions(kOwnerOnly);
            out.write(bytes);
            out.commit();
        }
    }

    void capSize()
    {
        if (QFileInfo(m_path).size() < kTrimThresholdBytes)
            return;
        const QString text = contents();
        qsizetype start = std::max<qsizetype>(0, text.size() - kKeepCharacters);
        // Never start on the second half of a surrogate pair.
        if (start > 0 && text.at(start).isLowSurrogate())
            ++start;
        writeWhole(text.mid(start).toUtf8());
    }

    void pruneOldLines()
    {
        const QDateTime now = m_clock();
        if (m_lastPrune && m_lastPrune->secsTo(now) < kPruneIntervalSeconds)
            return;
        m_lastPrune = now;
        const QString text = contents();
        const QDateTime limit = now.addSecs(-kMaxAgeSeconds);
        QStringList kept;
        bool dropped = false;
        const QStringList lines = text.split(QLatin1Char('\n'));
        for (const QString& line : lines) {
            if (line.startsWith(QLatin1Char('['))) {
                const qsizetype end = line.indexOf(QLatin1Char(']'));
                // Lines whose time cannot be read are kept: dropping them could lose what we cannot date.
                const QDateTime at = end > 0 ? QDateTime::fromString(line.mid(1, end - 1), Qt::ISODate) : QDateTime();
                if (at.isValid() && at < limit) {
                    dropped = true;
                    continue;
                }
            }
            kept << line;
        }
        if (dropped)
            writeWhole(kept.join(QLatin1Char('\n')).toUtf8());
    }

    static constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    QString m_path;
    Clock m_clock;
    std::optional<QDateTime> m_lastPrune;
    bool m_checkedPermissions = false;
};

DebugLog::DebugLog(const QString& folder, Clock clock)
    : m_clock(clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTimeUtc(); }))
{
    if (folder.isEmpty())
        return;
    m_path = QDir(folder).filePath(QLatin1String(kFileName));
    m_thread = std::make_unique<QThread>();
    m_thread->setObjectName(QStringLiteral("app.ovra.debuglog"));
    m_writer = new Writer(m_path, m_clock);
    m_writer->moveToThread(m_thread.get());
    QObject::connect(m_thread.get(), &QThread::finished, m_writer, &QObject::deleteLater);
    m_thread->start(QThread::LowPriority);
}

DebugLog::~DebugLog()
{
    if (!m_thread)
        return;
    (void)contents(); // drains what is queued
    m_thread->quit();
    m_thread->wait();
}

void DebugLog::log(const QString& message, const QString& category)
{
    if (!m_writer)
        return;
    const QString line = QLatin1Char('[') + m_clock().toUTC().toString(Qt::ISODate) + QStringLiteral("] [") +
                         category + QStringLiteral("] ") + message + QLatin1Char('\n');
    QMetaObject::invokeMethod(m_writer, [w = m_writer, bytes = line.toUtf8()] { w->append(bytes); },
                              Qt::QueuedConnection);
}

QString DebugLog::contents() const
{
    if (!m_writer)
        return {};
    if (QThread::currentThread() == m_thread.get())
        return m_writer->contents();
    QString out;
    QMetaObject::invokeMethod(m_writer, [&] { out = m_writer->contents(); }, Qt::BlockingQueuedConnection);
    return out;
}

void DebugLog::clear()
{
    if (m_writer)
        QMetaObject::invokeMethod(m_writer, [w = m_writer] { w->clear(); }, Qt::QueuedConnection);
}
