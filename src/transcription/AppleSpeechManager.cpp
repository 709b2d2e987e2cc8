#include "AppleSpeechManager.h"

#include "audio/AudioFile.h"
#include "platform/Bcp47.h"
#include "platform/SpeechEngine.h"

#include <QCoroFuture>
#include <QLocale>
#include <QtConcurrent>

AppleSpeechManager::AppleSpeechManager(SpeechEngine& engine) : m_engine(engine) {}

QString AppleSpeechManager::resolveLocale(const QString& localeIdentifier) const
{
    return Bcp47::match(m_engine.supportedLocales(), Bcp47::resolveAuto(localeIdentifier));
}

QCoro::Task<Expected<QString, AppleSpeechError>> AppleSpeechManager::transcribe(QString file, QString localeIdentifier)
{
    using E = AppleSpeechError;
    const QString locale = resolveLocale(localeIdentifier);
    if (locale.isEmpty())
        co_return unexpected(E{E::Kind::localeNotSupported, Bcp47::resolveAuto(localeIdentifier)});

    SpeechEngine* engine = &m_engine;
    QFuture<Expected<QString, E>> job = QtConcurrent::run([engine, file, locale]() -> Expected<QString, E> {
        auto samples = AudioFile::decodeMono16k(file);
        if (!samples)
            return unexpected(E{E::Kind::platform, samples.error().message});
        auto text = engine->recognize(locale, samples.value());
        if (!text)
            return unexpected(E{E::Kind::recognizerUnavailable, text.error()});
        return text.value().trimmed();
    });
    Expected<QString, E> result = co_await job;
    if (result && result.value().isEmpty())
        co_return unexpected(E{E::Kind::noResult, {}});
    co_return result;
}
