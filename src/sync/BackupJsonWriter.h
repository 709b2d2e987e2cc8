#pragma once
// Writes the backup document piece by piece to a device, so that a store of any size is
// exported without holding the document in memory. One record per line.
#include "store/RecordFields.h"

#include <QByteArray>
#include <QIODevice>
#include <QMap>
#include <QStringList>

class BackupJsonWriter
{
public:
    explicit BackupJsonWriter(QIODevice& out) : m_out(out) {}

    void beginDocument();
    void key(const char* name);
    void value(const QJsonValue& v);
    // An object whose keys must appear in a given order (QJsonObject sorts them).
    void orderedObject(const QJsonObject& o, const QStringList& order);
    void beginArray(const char* name);
    template <Record R>
    void element(const R& r)
    {
        separateElement();
        m_buffer += '{';
        bool first = true;
        for (const auto& f : RecordSchema<R>::fields()) {
            if (!f.carried)
                continue;
            const QVariant v = f.get(r);
            if (!v.isValid())
                continue;
            if (!first)
                m_buffer += ',';
            first = false;
            writeName(f.name);
            value(fieldToJson(f.type, v));
        }
        m_buffer += '}';
        flushIfFull();
    }
    void endArray();
    // False when the device refused a write.
    bool endDocument();

private:
    void separateElement();
    void writeString(QStringView s);
    // Our own key names: plain ASCII, nothing to escape.
    void writeName(const char* name)
    {
        m_buffer += '"';
        m_buffer += name;
        m_buffer += "\":";
    }
    void flushIfFull();
    bool flush();

    QIODevice& m_out;
    QByteArray m_buffer;
    bool m_firstKey = true;
    bool m_firstElement = true;
    bool m_failed = false;
};
