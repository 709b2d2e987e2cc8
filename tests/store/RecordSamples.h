#pragma once
// Records for tests that walk every field: distinctive values, and a field-by-field comparison.
#include "store/RecordFields.h"

#include <QTest>

// A value unlike the default, different for every field, so a swapped column shows.
template <Record R>
R distinctiveRecord()
{
    R r;
    int i = 0;
    for (const auto& f : RecordSchema<R>::fields()) {
        ++i;
        QVariant v;
        switch (f.type) {
        case FieldType::Uuid:
            v = QVariant::fromValue(QUuid::createUuid());
            break;
        case FieldType::String:
            v = QStringLiteral("%1 é✓ \"'; DROP\n%2").arg(QLatin1String(f.name)).arg(i);
            break;
        case FieldType::Bool:
            v = true;
            break;
        case FieldType::Int:
            v = QVariant::fromValue(qint64(1000 + i));
            break;
        case FieldType::Double:
            v = 0.125 + i;
            break;
        case FieldType::Date:
            v = QDateTime::fromMSecsSinceEpoch(1767225600123LL + i * 1000LL, Qt::UTC);
            break;
        case FieldType::Bytes:
            v = QByteArray(QByteArray("\0\x01\xff", 3) + QByteArray::number(i));
            break;
        }
        f.set(r, v);
    }
    return r;
}

template <Record R>
void compareAllFields(const R& a, const R& b)
{
    for (const auto& f : RecordSchema<R>::fields()) {
        const QVariant va = f.get(a);
        const QVariant vb = f.get(b);
        QVERIFY2(va.isValid() == vb.isValid(), f.name);
        if (f.type == FieldType::Date && va.isValid())
            QVERIFY2(va.toDateTime() == vb.toDateTime(), f.name);
        else
            QVERIFY2(va == vb, qPrintable(QStringLiteral("%1: %2 vs %3")
                                              .arg(QLatin1String(f.name), va.toString(), vb.toString())));
    }
}
