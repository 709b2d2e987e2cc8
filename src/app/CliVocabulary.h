#pragma once
// Names the usage texts and messages list, always in the same order: the cloud providers in
// the order of the key list (groq, openai, anthropic, gemini), then what runs on this machine.
#include <QStringList>

namespace CliVocabulary {

QStringList keyProviders();
QStringList transcriptionProviders();
QStringList aiProviders();
// "a, b, c"
QString listed(const QStringList& names);

} // namespace CliVocabulary
