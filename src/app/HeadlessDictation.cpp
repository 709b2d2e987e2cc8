#include "HeadlessDictation.h"

#include <QTextStream>

#include "Services.h"

#include "ai/CloudProviderCatalog.h"

#include <QProcess>
#include <QRegularExpression>

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
    : m_recorder(services.recorder()), m_transcriber(services.transcription()),
      m_controller({services.recorder(), services.liveTranscriber(), m_delivery, m_quiet, m_quiet, m_quiet, m_quiet, m_quiet,
                    [this]() -> Transcriber& { return m_transcriber; },
                    [&services]() -> ChatClient& { return services.claude(); }, &services.offlineQueue(), nullptr,
                    nullptr, &services.statsRefresher(),
                    {}, &services.failedRecordings(), &services.keptRecordings()},
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

ProgressLine::State HeadlessDictation::progress(double limitSeconds) const
{
    switch (m_controller.state()) {
    case RecordingState::recording:
        return {QStringLiteral("Dictée…"), ProgressLine::recordingDetail(m_recorder.currentLevel(), limitSeconds)};
    case RecordingState::enhancing:
        return {QStringLiteral("amélioration IA…"), {}};
    default:
        return {QStringLiteral("transcription…"), {}};
    }
}

namespace {

// The window's hint "Add your Groq API key in the Models tab." gets the command that does it.
QString withCommandLineHint(const QString& message)
{
    static const QRegularExpression missingKey(QStringLiteral("Add your (.+) API key in the Models tab\\."));
    const QRegularExpressionMatch m = missingKey.match(message);
    if (!m.hasMatch())
        return message;
    for (const CloudProviderInfo& p : CloudProviderCatalog::all())
        if (m.captured(1).contains(p.id, Qt::CaseInsensitive) || m.captured(1) == p.displayName)
            return message + QStringLiteral(" (ovra keys set %1)").arg(p.id);
    return message;
}

} // namespace

int HeadlessDictation::reportOutcome(QTextStream& out, QTextStream& err) const
{
    if (m_controller.errorMessage())
        err << withCommandLineHint(*m_controller.errorMessage()) << "\n";
    if (!m_controller.lastTranscriptionID())
        return 1;
    if (!m_fallbackNotice.isEmpty())
        err << m_fallbackNotice << "\n";
    out << m_controller.lastText().value_or(QString()) << "\n";
    return 0;
}
