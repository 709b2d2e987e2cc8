#pragma once
// Words and visible characters of a dictation's text, the figures the statistics add up.
#include <QByteArrayView>
#include <QString>

struct TextFigures
{
    qint64 words = 0;
    qint64 characters = 0;

    bool operator==(const TextFigures&) const = default;

    // wordCount and visibleCharacterCount of the text.
    static TextFigures of(const QString& text);
    // The same figures as of(QString::fromUtf8(utf8)), read from the bytes themselves: no string is
    // built unless the text holds combining marks, emoji, scripts beyond U+02FF or invalid UTF-8.
    static TextFigures ofUtf8(QByteArrayView utf8);
};
