// A native Wayland text field for the tests: writes its whole text to argv[1] on every change.
// argv[2], when given, is its app_id.
#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc > 2)
        QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(argv[2]));
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("edit.txt");
    QPlainTextEdit edit;
    edit.setWindowTitle(QStringLiteral("ovra-test-edit"));
    QObject::connect(&edit, &QPlainTextEdit::textChanged, [&edit, path] {
        QFile f(path + QLatin1String(".part"));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(edit.toPlainText().toUtf8()) >= 0) {
            f.close();
            QFile::remove(path);
            f.rename(path);
        }
    });
    edit.resize(400, 120);
    edit.show();
    return app.exec();
}
