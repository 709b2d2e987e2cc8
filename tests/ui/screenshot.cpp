// Saves what the X server shows (the whole screen, or the window with a given title) as PNG:
// the screenshot script's camera, so no image tool has to be installed.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTextStream>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        QTextStream(stderr) << "usage: ovra_screenshot OUT.png [WINDOW_ID]\n";
        return 2;
    }
    const WId window = args.size() > 2 ? args[2].toULongLong(nullptr, 0) : 0;
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPixmap shot = screen->grabWindow(window);
    if (shot.isNull() || !shot.save(args[1])) {
        QTextStream(stderr) << "cannot grab or save " << args[1] << "\n";
        return 1;
    }
    return 0;
}
