// Any dictated text goes through the Markdown-to-RTF conversion when copied.
#include "dictation/MarkdownStyledText.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)MarkdownStyledText::containsMarkdown(text);
    const QByteArray rtf = MarkdownStyledText::toRtf(MarkdownStyledText::convert(text));
    // RTF is 7-bit and its groups balance, whatever the input.
    int depth = 0;
    for (qsizetype i = 0; i < rtf.size(); ++i) {
        const char c = rtf[i];
        if (static_cast<unsigned char>(c) >= 0x80)
            std::abort();
        if (c == '\\') {
            ++i; // an escaped brace or backslash does not count
            continue;
        }
        depth += c == '{' ? 1 : c == '}' ? -1 : 0;
        if (depth < 0)
            std::abort();
    }
    if (depth != 0)
        std::abort();
    return 0;
}
