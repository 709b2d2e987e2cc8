#pragma once
// One row of a column scan, read in place: no record is built, texts stay the stored UTF-8 bytes.
#include <QByteArrayView>
#include <QtGlobal>

struct sqlite3_stmt;

class StoreRow
{
public:
    // Columns are numbered in the order the scan named them.
    bool isNull(int column) const;
    qint64 integer(int column) const;
    double real(int column) const;
    // Valid until the visit returns.
    QByteArrayView utf8(int column) const;

private:
    friend class RecordStore;
    StoreRow(sqlite3_stmt* st, bool utf8Storage) : m_st(st), m_utf8Storage(utf8Storage) {}
    sqlite3_stmt* m_st;
    bool m_utf8Storage; // the database's texts are stored as UTF-8
};
