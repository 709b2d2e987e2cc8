#pragma once
// A key combination such as "alt+super+d": modifiers plus one key named as an X keysym.
#include "store/Expected.h"

#include <QHash>
#include <QString>
#include <QStringList>

struct KeyCombo
{
    enum Modifier { control = 1, shift = 2, alt = 4, super = 8 };

    // X keysym name: lower-case letters and digits, "F5", "space", "Return", "comma"...
    QString key;
    int modifiers = 0;

    bool isValid() const { return !key.isEmpty(); }
    bool operator==(const KeyCombo&) const = default;

    // Canonical text, e.g. "alt+super+d"; parse() reads it back.
    QString toString() const
    {
        QStringList parts;
        if (modifiers & control)
            parts << QStringLiteral("ctrl");
        if (modifiers & shift)
            parts << QStringLiteral("shift");
        if (modifiers & alt)
            parts << QStringLiteral("alt");
        if (modifiers & super)
            parts << QStringLiteral("super");
        parts << key;
        return parts.join(QLatin1Char('+'));
    }

    // Text for messages, e.g. "Alt+Super+D".
    QString displayText() const
    {
        QStringList parts;
        if (modifiers & control)
            parts << QStringLiteral("Ctrl");
        if (modifiers & shift)
            parts << QStringLiteral("Maj");
        if (modifiers & alt)
            parts << QStringLiteral("Alt");
        if (modifiers & super)
            parts << QStringLiteral("Super");
        parts << (key.size() == 1 ? key.toUpper() : key);
        return parts.join(QLatin1Char('+'));
    }

    // Accepts modifiers in any order and case ("Ctrl", "control", "Alt", "option", "Super",
    // "command", "meta", "win", "Shift", "maj") and one key.
    static Expected<KeyCombo, QString> parse(const QString& text)
    {
        const QStringList words = text.trimmed().split(QLatin1Char('+'));
        if (text.trimmed().isEmpty())
            return unexpected(QStringLiteral("Raccourci vide."));
        KeyCombo combo;
        for (qsizetype i = 0; i + 1 < words.size(); ++i) {
            const int m = modifierNamed(words[i].trimmed().toLower());
            if (m == 0)
                return unexpected(QStringLiteral("Modificateur inconnu : « ") + words[i].trimmed() +
                                  QStringLiteral(" » (ctrl, shift, alt, super)."));
            combo.modifiers |= m;
        }
        combo.key = keyNamed(words.last().trimmed());
        if (combo.key.isEmpty())
            return unexpected(QStringLiteral("Touche inconnue : « ") + words.last().trimmed() + QStringLiteral(" »."));
        const bool functionKey = combo.key.size() >= 2 && combo.key[0] == QLatin1Char('F') && combo.key[1].isDigit();
        if (combo.modifiers == 0 && !functionKey)
            return unexpected(QStringLiteral("Un raccourci sans modificateur n'est possible qu'avec une touche F1…F35."));
        return combo;
    }

private:
    static int modifierNamed(const QString& w)
    {
        if (w == QLatin1String("ctrl") || w == QLatin1String("control"))
            return control;
        if (w == QLatin1String("shift") || w == QLatin1String("maj"))
            return shift;
        if (w == QLatin1String("alt") || w == QLatin1String("option") || w == QLatin1String("opt"))
            return alt;
        if (w == QLatin1String("super") || w == QLatin1String("command") || w == QLatin1String("cmd") ||
            w == QLatin1String("meta") || w == QLatin1String("win") || w == QLatin1String("logo"))
            return super;
        return 0;
    }

    // The keysym name for a key written by a user; empty when unknown.
    static QString keyNamed(const QString& word)
    {
        if (word.size() == 1) {
            const QChar c = word[0].toLower();
            if ((c >= QLatin1Char('a') && c <= QLatin1Char('z')) || c.isDigit())
                return QString(c);
        }
        const QString w = word.toLower();
        if (w.size() >= 2 && w[0] == QLatin1Char('f')) {
            bool ok = false;
            const int n = w.mid(1).toInt(&ok);
            if (ok && n >= 1 && n <= 35)
                return QStringLiteral("F") + QString::number(n);
        }
        static const QHash<QString, QString> names = {
            {QStringLiteral("space"), QStringLiteral("space")},
            {QStringLiteral("return"), QStringLiteral("Return")},
            {QStringLiteral("enter"), QStringLiteral("Return")},
            {QStringLiteral("escape"), QStringLiteral("Escape")},
            {QStringLiteral("esc"), QStringLiteral("Escape")},
            {QStringLiteral("tab"), QStringLiteral("Tab")},
            {QStringLiteral("backspace"), QStringLiteral("BackSpace")},
            {QStringLiteral("delete"), QStringLiteral("Delete")},
            {QStringLiteral("del"), QStringLiteral("Delete")},
            {QStringLiteral("insert"), QStringLiteral("Insert")},
            {QStringLiteral("home"), QStringLiteral("Home")},
            {QStringLiteral("end"), QStringLiteral("End")},
            {QStringLiteral("pageup"), QStringLiteral("Prior")},
            {QStringLiteral("prior"), QStringLiteral("Prior")},
            {QStringLiteral("pagedown"), QStringLiteral("Next")},
            {QStringLiteral("next"), QStringLiteral("Next")},
            {QStringLiteral("left"), QStringLiteral("Left")},
            {QStringLiteral("right"), QStringLiteral("Right")},
            {QStringLiteral("up"), QStringLiteral("Up")},
            {QStringLiteral("down"), QStringLiteral("Down")},
            {QStringLiteral("comma"), QStringLiteral("comma")},
            {QStringLiteral(","), QStringLiteral("comma")},
            {QStringLiteral("period"), QStringLiteral("period")},
            {QStringLiteral("."), QStringLiteral("period")},
            {QStringLiteral("slash"), QStringLiteral("slash")},
            {QStringLiteral("/"), QStringLiteral("slash")},
            {QStringLiteral("semicolon"), QStringLiteral("semicolon")},
            {QStringLiteral(";"), QStringLiteral("semicolon")},
            {QStringLiteral("apostrophe"), QStringLiteral("apostrophe")},
            {QStringLiteral("'"), QStringLiteral("apostrophe")},
            {QStringLiteral("bracketleft"), QStringLiteral("bracketleft")},
            {QStringLiteral("["), QStringLiteral("bracketleft")},
            {QStringLiteral("bracketright"), QStringLiteral("bracketright")},
            {QStringLiteral("]"), QStringLiteral("bracketright")},
            {QStringLiteral("backslash"), QStringLiteral("backslash")},
            {QStringLiteral("\\"), QStringLiteral("backslash")},
            {QStringLiteral("minus"), QStringLiteral("minus")},
            {QStringLiteral("-"), QStringLiteral("minus")},
            {QStringLiteral("equal"), QStringLiteral("equal")},
            {QStringLiteral("="), QStringLiteral("equal")},
            {QStringLiteral("grave"), QStringLiteral("grave")},
            {QStringLiteral("`"), QStringLiteral("grave")},
            {QStringLiteral("print"), QStringLiteral("Print")},
            {QStringLiteral("pause"), QStringLiteral("Pause")},
            {QStringLiteral("menu"), QStringLiteral("Menu")},
        };
        return names.value(w);
    }
};
