#include "BackupJsonWriter.h"

#include <QJsonArray>
#include <QJsonObject>
#include <cmath>
#include <cstdio>

namespace {
constexpr qsizetype kFlushBytes = 1 << 16;
} // namespace

void BackupJsonWriter::beginDocument()
{
    m_buffer += '{';
    m_firstKey = true;
}

void BackupJsonWriter::key(const char* name)
{
    m_buffer += m_firstKey ? "\n" : ",\n";
    m_firstKey = false;
    writeName(name);
}

void BackupJsonWriter::value(const QJsonValue& v)
{
    switch (v.type()) {
    case QJsonValue::Bool:
        m_buffer += v.toBool() ? "true" : "false";
        break;
    case QJsonValue::Double: {
        const double d = v.toDouble();
        // JSON has no NaN or infinity; a document we could not read back is worse than a zero.
        m_buffer += std::isfinite(d) ? QByteArray::number(d, 'g', QLocale::FloatingPointShortest) : "0";
        break;
    }
    case QJsonValue::String:
        writeString(v.toString());
        break;
    case QJsonValue::Array: {
        m_buffer += '[';
        bool first = true;
        for (const QJsonValue& item : v.toArray()) {
            if (!first)
                m_buffer += ',';
            first = false;
            value(item);
        }
        m_buffer += ']';
        break;
    }
    case QJsonValue::Object: {
        const QJsonObject o = v.toObject();
        m_buffer += '{';
        bool first = true;
        for (auto it = o.begin(); it != o.end(); ++it) {
            if (!first)
                m_buffer += ',';
            first = false;
            writeString(it.key());
            m_buffer += ':';
            value(it.value());
        }
        m_buffer += '}';
        break;
    }
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        m_buffer += "null";
        break;
    }
    flushIfFull();
}

void BackupJsonWriter::orderedObject(const QJsonObject& o, const QStringList& order)
{
    m_buffer += '{';
    bool first = true;
    for (const QString& k : order) {
        if (!o.contains(k))
            continue;
        if (!first)
            m_buffer += ',';
        first = false;
        writeString(k);
        m_buffer += ':';
        value(o.value(k));
    }
    m_buffer += '}';
}

void BackupJsonWriter::beginArray(const char* name)
{
    key(name);
    m_buffer += '[';
    m_firstElement = true;
}

void BackupJsonWriter::separateElement()
{
    m_buffer += m_firstElement ? "\n" : ",\n";
    m_firstElement = false;
}

void BackupJsonWriter::endArray()
{
    m_buffer += m_firstElement ? "]" : "\n]";
    m_firstElement = true;
}

bool BackupJsonWriter::endDocument()
{
    m_buffer += "\n}\n";
    return flush() && !m_failed;
}

void BackupJsonWriter::writeString(QStringView s)
{
    m_buffer += '"';
    qsizetype plainFrom = 0;
    auto emitPlain = [&](qsizetype upTo) {
        if (upTo > plainFrom)
            m_buffer += s.sliced(plainFrom, upTo - plainFrom).toUtf8();
    };
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (c >= 0x20 && c != u'"' && c != u'\\')
            continue;
        emitPlain(i);
        plainFrom = i + 1;
        switch (c) {
        case u'"':
            m_buffer += "\\\"";
            break;
        case u'\\':
            m_buffer += "\\\\";
            break;
        case u'\n':
            m_buffer += "\\n";
            break;
        case u'\r':
            m_buffer += "\\r";
            break;
        case u'\t':
            m_buffer += "\\t";
            break;
        case u'\b':
            m_buffer += "\\b";
            break;
        case u'\f':
            m_buffer += "\\f";
            break;
        default: {
            char esc[7];
            std::snprintf(esc, sizeof esc, "\\u%04x", unsigned(c));
            m_buffer += esc;
        }
        }
    }
    emitPlain(s.size());
    m_buffer += '"';
}

void BackupJsonWriter::flushIfFull()
{
    if (m_buffer.size() >= kFlushBytes)
        (void)flush();
}

bool BackupJsonWriter::flush()
{
    if (!m_buffer.isEmpty() && !m_failed && m_out.write(m_buffer) != m_buffer.size())
        m_failed = true;
    m_buffer.resize(0); // keeps the capacity for the next chunk
    return !m_failed;
}
