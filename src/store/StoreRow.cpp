#include "StoreRow.h"

#include <sqlite3.h>

bool StoreRow::isNull(int column) const { return sqlite3_column_type(m_st, column) == SQLITE_NULL; }

qint64 StoreRow::integer(int column) const { return sqlite3_column_int64(m_st, column); }

double StoreRow::real(int column) const { return sqlite3_column_double(m_st, column); }

QByteArrayView StoreRow::utf8(int column) const
{
    // The bytes first, then their length: the order SQLite asks for. Read as a blob, a text
    // stored in UTF-8 is handed over in place, where asking for text would copy it to end it
    // with a NUL.
    const auto* bytes = m_utf8Storage ? static_cast<const char*>(sqlite3_column_blob(m_st, column))
                                      : reinterpret_cast<const char*>(sqlite3_column_text(m_st, column));
    return QByteArrayView(bytes, sqlite3_column_bytes(m_st, column));
}
