#pragma once
// Scheme + host (+ port) of each cloud API; the fixed paths are appended by the callers.
// OVRA_OPENAI_BASE_URL, OVRA_GROQ_BASE_URL, OVRA_GEMINI_BASE_URL and OVRA_ANTHROPIC_BASE_URL
// override the public hosts.
#include <QString>

struct ServiceHosts
{
    QString openAI = QStringLiteral("https://api.openai.com");
    QString groq = QStringLiteral("https://api.groq.com");
    QString gemini = QStringLiteral("https://generativelanguage.googleapis.com");
    QString anthropic = QStringLiteral("https://api.anthropic.com");

    static ServiceHosts fromEnvironment();
};
