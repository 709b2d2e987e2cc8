#pragma once
// One field table per record type. It drives the store's columns, the JSON form of the backup
// document and the command line's --json output, so the three cannot drift apart.
#include "Records.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QVariant>
#include <type_traits>

enum class FieldType { Uuid, String, Bool, Int, Double, Date, Bytes };

template <class R>
struct FieldDef
{
    const char* name;
    FieldType type;
    bool optional;
    bool carried; // false: local to this device, never exported or synced
    // An invalid QVariant means "no value" (an absent optional).
    QVariant (*get)(const R&);
    void (*set)(R&, const QVariant&);
};

namespace fields_detail {
template <class T>
struct Traits;
template <>
struct Traits<QUuid>
{
    static constexpr FieldType type = FieldType::Uuid;
};
template <>
struct Traits<QString>
{
    static constexpr FieldType type = FieldType::String;
};
template <>
struct Traits<bool>
{
    static constexpr FieldType type = FieldType::Bool;
};
template <>
struct Traits<int>
{
    static constexpr FieldType type = FieldType::Int;
};
template <>
struct Traits<double>
{
    static constexpr FieldType type = FieldType::Double;
};
template <>
struct Traits<QDateTime>
{
    static constexpr FieldType type = FieldType::Date;
};
template <>
struct Traits<QByteArray>
{
    static constexpr FieldType type = FieldType::Bytes;
};

template <class T>
struct Unwrap
{
    using type = T;
    static constexpr bool optional = false;
};
template <class T>
struct Unwrap<std::optional<T>>
{
    using type = T;
    static constexpr bool optional = true;
};

template <class>
struct Member;
template <class R, class T>
struct Member<T R::*>
{
    using Record = R;
    using Type = T;
};

template <class T>
T fromVariant(const QVariant& v)
{
    if constexpr (std::is_same_v<T, int>)
        return int(v.toLongLong());
    else
        return v.value<T>();
}
} // namespace fields_detail

template <auto M>
auto field(const char* name, bool carried = true)
{
    using R = typename fields_detail::Member<decltype(M)>::Record;
    using Stored = typename fields_detail::Member<decltype(M)>::Type;
    using U = fields_detail::Unwrap<Stored>;
    using T = typename U::type;
    FieldDef<R> def{name, fields_detail::Traits<T>::type, U::optional, carried, nullptr, nullptr};
    def.get = [](const R& r) -> QVariant {
        if constexpr (U::optional)
            return (r.*M) ? QVariant::fromValue(*(r.*M)) : QVariant();
        else
            return QVariant::fromValue(r.*M);
    };
    def.set = [](R& r, const QVariant& v) {
        if constexpr (U::optional) {
            if (v.isValid())
                r.*M = fields_detail::fromVariant<T>(v);
            else
                r.*M = std::nullopt;
        } else if (v.isValid()) {
            r.*M = fields_detail::fromVariant<T>(v);
        }
    };
    return def;
}

template <class R>
struct RecordSchema;

#define OVRA_SCHEMA(R, TABLE)                                                                             \
    template <>                                                                                          \
    struct RecordSchema<R>                                                                               \
    {                                                                                                    \
        static constexpr const char* table = TABLE;                                                      \
        static const QList<FieldDef<R>>& fields();                                                       \
    };

OVRA_SCHEMA(Transcription, "transcription")
OVRA_SCHEMA(TranscriptionMode, "transcription_mode")
OVRA_SCHEMA(PromptPreset, "prompt_preset")
OVRA_SCHEMA(DictionaryEntry, "dictionary_entry")
OVRA_SCHEMA(Note, "note")
OVRA_SCHEMA(DeletionTombstone, "deletion_tombstone")
OVRA_SCHEMA(APIUsageRecord, "api_usage_record")
OVRA_SCHEMA(TransformationStat, "transformation_stat")
OVRA_SCHEMA(LearningSuggestion, "learning_suggestion")
OVRA_SCHEMA(PromptVersion, "prompt_version")
OVRA_SCHEMA(KeyBackup, "key_backup")
#undef OVRA_SCHEMA

template <class R>
concept Record = requires { RecordSchema<R>::table; };

// Every record type, in one place, for code that walks all of them: the order in which the store
// is created with them.
template <class F>
void forEachRecordType(F&& f)
{
    f.template operator()<TranscriptionMode>();
    f.template operator()<Note>();
    f.template operator()<PromptPreset>();
    f.template operator()<PromptVersion>();
    f.template operator()<KeyBackup>();
    f.template operator()<Transcription>();
    f.template operator()<DictionaryEntry>();
    f.template operator()<LearningSuggestion>();
    f.template operator()<APIUsageRecord>();
    f.template operator()<DeletionTombstone>();
    f.template operator()<TransformationStat>();
}

// JSON form: field names as keys, dates in ISO 8601 with milliseconds (UTC), UUIDs upper-case,
// bytes in base64, absent optionals left out.
QJsonValue fieldToJson(FieldType type, const QVariant& v);
// Nothing when the JSON value does not have the field's type (a bad date included).
std::optional<QVariant> fieldFromJson(FieldType type, const QJsonValue& v);

template <Record R>
QJsonObject toJson(const R& r, bool carriedOnly = false)
{
    QJsonObject o;
    for (const auto& f : RecordSchema<R>::fields()) {
        if (carriedOnly && !f.carried)
            continue;
        const QVariant v = f.get(r);
        if (v.isValid())
            o.insert(QLatin1String(f.name), fieldToJson(f.type, v));
    }
    return o;
}
