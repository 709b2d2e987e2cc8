#include "PostProcessMetaParser.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cmath>

namespace {

std::optional<PostProcessMeta> decodeMeta(const QString& json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    PostProcessMeta meta;
    if (const QJsonValue v = o.value(QLatin1String("fixes")); !v.isUndefined() && !v.isNull()) {
        const double d = v.toDouble(std::nan(""));
        // An integer field: anything else makes the object undecodable.
        if (!v.isDouble() || d != std::floor(d) || std::abs(d) > 2147483647.0)
            return std::nullopt;
        meta.fixes = int(d);
    }
    if (const QJsonValue v = o.value(QLatin1String("category")); !v.isUndefined() && !v.isNull()) {
        if (!v.isString())
            return std::nullopt;
        meta.category = v.toString();
    }
    return meta;
}

} // namespace

namespace PostProcessMetaParser {

ParsedRewrite parse(const QString& answer)
{
    static const QRegularExpression block(QStringLiteral("<qm-meta>\\s*(\\{[\\s\\S]*?\\})\\s*</qm-meta>"));
    if (block.isValid()) {
        const QRegularExpressionMatch m = block.match(answer);
        if (m.hasMatch()) {
            QString text = answer;
            text.remove(m.capturedStart(), m.capturedLength());
            return {text.trimmed(), decodeMeta(m.captured(1))};
        }
    }
    const qsizetype tag = answer.indexOf(QLatin1String("<qm-meta>"));
    if (tag >= 0) {
        const QString before = answer.left(tag).trimmed();
        if (!before.isEmpty())
            return {before, std::nullopt};
    }
    return {answer, std::nullopt};
}

} // namespace PostProcessMetaParser
