#pragma once
// Starts an analysis of the user's corrections by itself once learning is enabled and
// "learningThreshold" dictations wait that were never analysed.
#include "LearningTrigger.h"

#include <QObject>

class LearningAnalyzer;
class RecordStore;
class Settings;

class LearningAutoTrigger : public QObject, public LearningTrigger
{
    Q_OBJECT
public:
    static constexpr int kDefaultThreshold = 20;

    LearningAutoTrigger(LearningAnalyzer& analyzer, Settings& settings, QObject* parent = nullptr);
    void setModelContext(RecordStore* store) { m_store = store; }

    // Absent or below 1: the default.
    int threshold() const;
    void dictationStored() override;

private:
    LearningAnalyzer& m_analyzer;
    Settings& m_settings;
    RecordStore* m_store = nullptr;
};
