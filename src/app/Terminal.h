#pragma once
// What the command line does differently on a terminal: secrets read after a prompt without
// echo, and one progress line on stderr that later messages replace. Through pipes and files
// it reads and writes plainly and shows no progress.
#include "store/Expected.h"

#include <QString>

class QTextStream;

class Terminal
{
public:
    // err is the stream the commands write their messages to (stderr).
    Terminal(QTextStream& err, int inputFd = 0, int errorFd = 2);
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    bool inputIsTerminal() const { return m_inputIsTerminal; }
    bool errorIsTerminal() const { return m_errorIsTerminal; }

    // On a terminal: the prompt on stderr, the line typed without echo, up to Enter. Otherwise
    // all of the input. Trimmed either way; the error says why nothing could be read.
    Expected<QString, QString> readSecret(const QString& prompt);

    // Replaces the progress line; nothing when stderr is not a terminal.
    void showProgress(const QString& text);
    // Erases the progress line, if one is shown, so a message can take its place.
    void clearProgress();

private:
    QTextStream& m_err;
    int m_inputFd;
    bool m_inputIsTerminal;
    bool m_errorIsTerminal;
    bool m_progressShown = false;
};
