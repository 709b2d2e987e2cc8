#pragma once
// The Whisper models offered, in the order the interface lists them, and the ggml file of the
// public whisper.cpp model repository each one is served by.
#include <QList>
#include <QString>

struct WhisperModel
{
    QString variant;
    QString name;
    int sizeMB = 0;
    bool multilingual = true;
    QString description;
    QString fileName; // the ggml file in the model repository

    static const QList<WhisperModel>& catalogue();
    // The row of a variant (after the replacement rule); nothing for a variant we cannot run.
    static const WhisperModel* find(const QString& variant);
    // An identifier that begins neither with "openai_whisper" nor with "distil" becomes
    // "openai_whisper-base".
    static QString normalizedVariant(const QString& variant);
};
