#include "TerminalApplications.h"

#include <QSet>

namespace TerminalApplications {

bool contains(const QString& applicationId)
{
    static const QSet<QString> terminals = {
        QStringLiteral("xterm"), QStringLiteral("uxterm"), QStringLiteral("gnome-terminal"),
        QStringLiteral("gnome-terminal-server"), QStringLiteral("org.gnome.terminal"),
        QStringLiteral("org.gnome.console"), QStringLiteral("kgx"), QStringLiteral("org.gnome.ptyxis"),
        QStringLiteral("konsole"), QStringLiteral("org.kde.konsole"), QStringLiteral("yakuake"),
        QStringLiteral("org.kde.yakuake"), QStringLiteral("alacritty"), QStringLiteral("kitty"),
        QStringLiteral("xfce4-terminal"), QStringLiteral("terminator"), QStringLiteral("tilix"),
        QStringLiteral("com.gexperts.tilix"), QStringLiteral("urxvt"), QStringLiteral("rxvt"),
        QStringLiteral("st"), QStringLiteral("st-256color"), QStringLiteral("wezterm"),
        QStringLiteral("org.wezfurlong.wezterm"), QStringLiteral("foot"), QStringLiteral("footclient"),
        QStringLiteral("lxterminal"), QStringLiteral("mate-terminal"), QStringLiteral("qterminal"),
        QStringLiteral("terminology"), QStringLiteral("guake"), QStringLiteral("tilda"),
        QStringLiteral("sakura"), QStringLiteral("cool-retro-term"), QStringLiteral("ghostty"),
        QStringLiteral("com.mitchellh.ghostty"), QStringLiteral("com.raggesilver.blackbox"),
        QStringLiteral("io.elementary.terminal"), QStringLiteral("deepin-terminal"),
    };
    QString id = applicationId.trimmed().toLower();
    if (id.endsWith(QLatin1String(".desktop")))
        id.chop(8);
    return terminals.contains(id);
}

} // namespace TerminalApplications
