#pragma once
// In-memory clipboard and selection for unit tests.
#include "platform/Pasteboard.h"

class FakePasteboard : public Pasteboard
{
public:
    PasteboardContents clipboard;
    std::optional<QString> selection;
    int writes = 0;

    std::optional<QString> text() const override
    {
        for (const auto& [format, bytes] : clipboard)
            if (format == QLatin1String("text/plain"))
                return QString::fromUtf8(bytes);
        return std::nullopt;
    }
    PasteboardContents contents() const override { return clipboard; }
    void setText(const QString& text) override { setContents({{QStringLiteral("text/plain"), text.toUtf8()}}); }
    void setContents(const PasteboardContents& contents) override
    {
        clipboard = contents;
        ++writes;
    }
    std::optional<QString> selectionText() const override { return selection; }
    QByteArray data(const QString& format) const
    {
        for (const auto& [f, bytes] : clipboard)
            if (f == format)
                return bytes;
        return {};
    }
};
