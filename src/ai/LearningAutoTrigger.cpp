#include "LearningAutoTrigger.h"

#include "LearningAnalyzer.h"
#include "store/RecordStore.h"
#include "store/Settings.h"

#include <QTimer>

LearningAutoTrigger::LearningAutoTrigger(LearningAnalyzer& analyzer, Settings& settings, QObject* parent)
    : QObject(parent), m_analyzer(analyzer), m_settings(settings)
{
}

int LearningAutoTrigger::threshold() const
{
    const qint64 value = m_settings.intValue(SharedDefaultsKey::learningThreshold, kDefaultThreshold);
    return value < 1 ? kDefaultThreshold : int(std::min<qint64>(value, 1000000));
}

void LearningAutoTrigger::dictationStored()
{
    // Sending dictations to a model is the user's choice: off unless enabled.
    if (!m_store || m_analyzer.isAnalyzing() || !m_settings.boolValue(SharedDefaultsKey::learningEnabled, false))
        return;
    int waiting = 0;
    m_store->forEach<Transcription>([&waiting](const Transcription& t) { waiting += LearningAnalyzer::qualifies(t); });
    if (waiting < threshold())
        return;
    QTimer::singleShot(0, this, [this] {
        if (m_store)
            m_analyzer.analyzeStore(*m_store);
    });
}
