#pragma once
// A recogniser that "hears" one word per half second of audio fed to it.
#include "platform/SpeechEngine.h"

#include <QStringList>
#include <atomic>
#include <chrono>
#include <thread>

class FakeSpeechEngine : public SpeechEngine
{
public:
    QStringList locales{"en-US", "fr-FR"};
    QString openError;
    QString openedLocale;
    std::chrono::milliseconds finishDelay{0};
    bool silent = false;

    QStringList supportedLocales() const override { return locales; }
    Expected<QString, QString> recognize(const QString&, std::span<const float>) override { return QString(); }
    Expected<std::unique_ptr<SpeechStream>, QString> openStream(const QString& locale) override
    {
        if (!openError.isEmpty())
            return unexpected(openError);
        openedLocale = locale;
        return std::unique_ptr<SpeechStream>(new Stream(finishDelay, silent));
    }

private:
    struct Stream : SpeechStream
    {
        std::chrono::milliseconds delay;
        bool silent;
        size_t fed = 0;
        Stream(std::chrono::milliseconds d, bool s) : delay(d), silent(s) {}
        void feed(std::span<const float> s) override { fed += s.size(); }
        QString partialText() override
        {
            QStringList words;
            for (size_t i = 0; !silent && i < fed / 8000; ++i)
                words << QStringLiteral("mot%1").arg(i + 1);
            return words.join(' ');
        }
        QString finish() override
        {
            std::this_thread::sleep_for(delay);
            return silent ? QString() : partialText() + QStringLiteral(" fin");
        }
    };
};
