#pragma once
// What the transcription manager asks of the silence trimmer; SilenceTrimmer implements it.
#include <QCoroTask>
#include <QString>

struct TrimOutcome
{
    enum class Kind { trimmed, unchanged, empty };
    Kind kind = Kind::unchanged;
    // trimmed: the new temporary file (the caller deletes it); unchanged: the recording.
    QString file;
};

class SilenceTrimming
{
public:
    virtual ~SilenceTrimming() = default;
    // Never fails: every failure becomes `unchanged`.
    virtual QCoro::Task<TrimOutcome> trim(QString file) = 0;
};
