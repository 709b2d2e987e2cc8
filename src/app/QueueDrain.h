#pragma once
// The offline queue transcribed from the command line, when no desktop application owns it.
#include "transcription/OfflineTranscriptionQueue.h"

#include <QCoroTask>
#include <QJsonObject>
#include <QStringList>

class QTextStream;
class Services;

class QueueDrain
{
public:
    using Report = OfflineTranscriptionQueue::DrainReport;
    static inline const QString kDesktopOwnsQueue =
        QStringLiteral("L'application de bureau est lancée : c'est elle qui transcrit les dictées en attente.");

    // The running application watches the network and drains the queue itself.
    static bool desktopApplicationRunning();
    static QCoro::Task<Report> run(Services& services);
    // One line per dictation transcribed: its date and its text.
    static QStringList transcribedLines(const Report& report, Services& services);
    static QJsonObject toJson(const Report& report, Services& services);
    // What was not done, one message a line on err; true when anything was.
    static bool reportProblems(const Report& report, Services& services, QTextStream& err);
};
