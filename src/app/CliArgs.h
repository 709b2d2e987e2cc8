#pragma once
// Positional arguments and --options of one subcommand.
#include "store/Expected.h"

#include <QHash>
#include <QSet>
#include <QStringList>

class CliArgs
{
public:
    // flags take no value; options take one. Anything else starting with "--" is an error.
    static Expected<CliArgs, QString> parse(const QStringList& args, const QSet<QString>& flags,
                                            const QSet<QString>& options);

    const QStringList& positional() const { return m_positional; }
    QString at(qsizetype i) const { return m_positional.value(i); }
    bool flag(const QString& name) const { return m_flags.contains(name); }
    bool has(const QString& name) const { return m_options.contains(name); }
    QString option(const QString& name, const QString& fallback = {}) const
    {
        return m_options.value(name, fallback);
    }

private:
    QStringList m_positional;
    QSet<QString> m_flags;
    QHash<QString, QString> m_options;
};
