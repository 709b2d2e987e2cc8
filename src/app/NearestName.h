#pragma once
// The known name a user most likely meant ("transcibe" → "transcribe"), if one is close enough.
#include <QStringList>
#include <optional>

std::optional<QString> nearestName(const QString& typed, const QStringList& known);
