#include "SettingTypes.h"

#include "platform/KeyCombo.h"
#include "store/AppSettingsKeys.h"
#include "store/SharedDefaultsKey.h"

#include <QHash>
#include <cmath>

namespace {

using Kind = SettingTypes::Kind;

// Kinds that the keys' names and their readers make plain; the others take any value.
const QHash<QString, Kind>& kinds()
{
    static const QHash<QString, Kind> table = [] {
        QHash<QString, Kind> t;
        for (SharedDefaultsKey k : SharedDefaults::allCases()) {
            const QString key = SharedDefaults::key(k);
            Kind kind = Kind::any;
            if (key.endsWith(QLatin1String("providerRaw")) || key.endsWith(QLatin1String(".model")) ||
                key.endsWith(QLatin1String("ID")) || key.endsWith(QLatin1String("Name")) ||
                key.startsWith(QLatin1String("mirelo.lastMode.")) || key.endsWith(QLatin1String(".pseudo")) ||
                key.endsWith(QLatin1String("fallbackModel")) || key.endsWith(QLatin1String("lastSeenVersion")))
                kind = Kind::text;
            else if (key.endsWith(QLatin1String("enabled")) || key.endsWith(QLatin1String("Enabled")) ||
                     key.endsWith(QLatin1String("builtInMic")) || key.endsWith(QLatin1String("AfterDictation")) ||
                     key.endsWith(QLatin1String("OnLeft")) || key.endsWith(QLatin1String("privacyScrub")) ||
                     key.endsWith(QLatin1String("respondInFrench")) || key.endsWith(QLatin1String("optOut")) ||
                     key.endsWith(QLatin1String("autoEnhanceDifficult")) ||
                     key.endsWith(QLatin1String("hasSeenWelcome")) || key.endsWith(QLatin1String("session.active")))
                kind = Kind::boolean;
            else if (key.endsWith(QLatin1String(".days")) || key.endsWith(QLatin1String("Count")) ||
                     key.endsWith(QLatin1String("chunkMs")) || key.endsWith(QLatin1String("recordButtonVersion")) ||
                     key.endsWith(QLatin1String("dictatedWordsBest")))
                kind = Kind::integer;
            else if (key == QLatin1String("mirelo.recording.timeout"))
                kind = Kind::number;
            t.insert(key, kind);
        }
        using namespace AppSettingsKey;
        for (const QLatin1String key :
             {powerModeEnabled, pauseMedia, sounds, helperEnabled, helperAutoPaste, notesAssistantVisible})
            t.insert(key, Kind::boolean);
        for (const QLatin1String key : {appIcon, defaultModeID, inputDeviceID, hudStyle, primaryShortcutMode, helperID,
                                        appLanguageChoice, cloudFolder, localModelURL, localModel})
            t.insert(key, Kind::text);
        t.insert(helperPort, Kind::integer);
        t.insert(leaderboardURL, Kind::text);
        t.insert(leaderboardUser, Kind::text);
        t.insert(autoSendEnter, Kind::list);
        t.insert(shortcuts, Kind::map);
        for (const QLatin1String key : {modeTriggers, urlModeTriggers, helperPhones, offlineQueue, leaderboardCachedSnapshot,
                                        widgetLayouts, widgetLayoutsUpdatedAt, widgetStatsSnapshot, transformStatDedup,
                                        syncDigest, syncVersion, syncDeviceID})
            t.insert(key, Kind::any);
        return t;
    }();
    return table;
}

bool fits(Kind kind, const QVariant& v)
{
    const int type = v.typeId();
    switch (kind) {
    case Kind::any:
    case Kind::text:
        return true;
    case Kind::boolean:
        return type == QMetaType::Bool;
    case Kind::integer: {
        bool ok = false;
        const double d = v.toDouble(&ok);
        return type != QMetaType::Bool && type != QMetaType::QString && ok && std::isfinite(d) && d == std::floor(d);
    }
    case Kind::number:
        return type == QMetaType::Double || type == QMetaType::LongLong || type == QMetaType::Int;
    case Kind::list:
        return type == QMetaType::QVariantList || type == QMetaType::QStringList;
    case Kind::map:
        return type == QMetaType::QVariantMap;
    }
    return false;
}

} // namespace

namespace SettingTypes {

QStringList knownKeys()
{
    QStringList keys = kinds().keys();
    keys.sort();
    return keys;
}

std::optional<Kind> kindOf(const QString& key)
{
    const auto it = kinds().constFind(key);
    if (it == kinds().cend())
        return std::nullopt;
    return *it;
}

QString describe(Kind kind)
{
    switch (kind) {
    case Kind::any:
        return QStringLiteral("une valeur");
    case Kind::boolean:
        return QStringLiteral("un booléen (true ou false)");
    case Kind::integer:
        return QStringLiteral("un nombre entier");
    case Kind::number:
        return QStringLiteral("un nombre");
    case Kind::text:
        return QStringLiteral("un texte");
    case Kind::list:
        return QStringLiteral("une liste JSON ([\"a\", \"b\"])");
    case Kind::map:
        return QStringLiteral("un objet JSON ({\"nom\": \"valeur\"})");
    }
    return {};
}

Expected<QVariant, QString> check(const QString& key, const QVariant& parsed, const QString& text)
{
    const Kind kind = kindOf(key).value_or(Kind::any);
    if (kind == Kind::text)
        return parsed.typeId() == QMetaType::QString ? parsed : QVariant(text);
    if (!fits(kind, parsed))
        return unexpected(QStringLiteral("%1 attend %2, pas « %3 ».").arg(key, describe(kind), text));
    if (key == AppSettingsKey::shortcuts) {
        const QVariantMap map = parsed.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            const QString combo = it.value().toString();
            if (it.value().typeId() != QMetaType::QString)
                return unexpected(QStringLiteral("%1 : la combinaison de %2 doit être un texte.").arg(key, it.key()));
            if (combo.isEmpty())
                continue; // no combination: the shortcut is off on purpose
            if (const auto ok = KeyCombo::parse(combo); !ok)
                return unexpected(QStringLiteral("%1 : combinaison illisible pour %2 (« %3 ») : %4")
                                      .arg(key, it.key(), combo, ok.error()));
        }
    }
    return parsed;
}

} // namespace SettingTypes
