// Records arrive as JSON from backups and other devices: every field decoder must hold.
#include "store/RecordFields.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    (void)DateTime::fromIso(QString::fromUtf8(bytes));
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    const QJsonObject o = doc.isObject() ? doc.object() : QJsonObject{};
    forEachRecordType([&]<class R>() {
        R r;
        for (const auto& f : RecordSchema<R>::fields()) {
            if (const auto v = fieldFromJson(f.type, o.value(QLatin1String(f.name))))
                f.set(r, *v);
        }
        (void)toJson(r);
    });
    return 0;
}
