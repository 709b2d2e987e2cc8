// The rewrite answer comes from a remote model: any bytes must parse without harm.
#include "ai/PostProcessMetaParser.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString answer = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const ParsedRewrite r = PostProcessMetaParser::parse(answer);
    // The text is never longer than the answer it came from.
    if (r.text.size() > answer.size())
        std::abort();
    return 0;
}
