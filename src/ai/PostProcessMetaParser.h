#pragma once
// Separates a rewrite answer from the <qm-meta>{...}</qm-meta> block the model appends.
#include <QString>
#include <optional>

struct PostProcessMeta
{
    std::optional<int> fixes;
    std::optional<QString> category;
};

struct ParsedRewrite
{
    QString text;
    std::optional<PostProcessMeta> meta;
};

namespace PostProcessMetaParser {
// Never fails: without a usable block the answer comes back unchanged (or cut before a
// dangling opening tag) and the meta is absent.
ParsedRewrite parse(const QString& answer);
} // namespace PostProcessMetaParser
