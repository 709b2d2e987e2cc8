#include "HeadlessDictation.h"

#include <QTextStream>

#include "Services.h"

#include <QProcess>

bool ClipboardCommandDelivery::displayPresent() { return !qEnvironmentVariable("DISPLAY").isEmpty(); }

void ClipboardCommandDelivery::copyToClipboard(const QString& text)
{
    if (!displayPresent())
        return;
    QProcess xclip;
    xclip.setStandardOutputFile(QProcess::nullDevice());
    xclip.setStandardErrorFile(QProcess::nullDevice());
    xclip.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-i")});
    if (!xclip.waitForStarted(3000))
        return;
    xclip.write(text.toUtf8());
    xclip.closeWriteChannel();
    xclip.waitForFinished(5000);
}

bool ClipboardCommandDelivery::pasteAtCursor(const QString& text)
{
    copyToClipboard(text);
    return false;
}

QCoro::Task<std::optional<QString>> ClipboardCommandDelivery::readSelectedText() { co_return std::nullopt; }

HeadlessDictation::HeadlessDictation(Services& services)
    : m_transcriber(services.transcription()),
      m_controller({services.recorder(), services.liveTranscriber(), m_delivery, m_quiet, m_quiet, m_quiet, m_quiet, m_quiet,
                    [this]() -> Transcriber& { return m_transcriber; },
                    [&services]() -> ChatClient& { return services.claude(); }, nullptr, nullptr, nullptr, nullptr,
                    {}},
                   services.settings(), services.notifications())
{
    m_controller.attachStore(&services.store());
    m_fallbackWatch = QObject::connect(
        &services.transcription(), &TranscriptionManager::fellBack,
        [this](const QString& provider, const QString& reason, const QString& fallback) {
            m_fallbackNotice = QStringLiteral("%1 a échoué (%2) : texte produit en secours par %3.")
                                   .arg(provider, reason, fallback);
        });
}

HeadlessDictation::~HeadlessDictation() { QObject::disconnect(m_fallbackWatch); }

int HeadlessDictation::reportOutcome(QTextStream& out, QTextStream& err) const
{
    if (m_controller.errorMessage())
        err << *m_controller.errorMessage() << "\n";
    if (!m_controller.lastTranscriptionID())
        return 1;
    if (!m_fallbackNotice.isEmpty())
        err << m_fallbackNotice << "\n";
    out << m_controller.lastText().value_or(QString()) << "\n";
    return 0;
}
