// A small accessible program playing a browser for the accessibility-bus tests: windows with
// an address bar (a line edit with the label a browser gives it) or without one. Commands on
// standard input: "activate N" activates window N, "address TEXT" replaces the address.
// Prints "ready" once its windows are shown, "active N" when window N becomes active.
#include <QApplication>
#include <QGuiApplication>
#include <QCommandLineParser>
#include <QLabel>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <memory>
#include <vector>

#include <X11/Xlib.h>

namespace {
void say(const QString& line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

class BrowserWindow : public QWidget
{
public:
    BrowserWindow(int index, const QString& label, const QString& address) : m_index(index)
    {
        setWindowTitle(QStringLiteral("Fenêtre %1").arg(index));
        auto* layout = new QVBoxLayout(this);
        if (!label.isNull()) {
            m_bar = new QLineEdit(this);
            m_bar->setAccessibleName(label);
            m_bar->setText(address);
            layout->addWidget(m_bar);
        }
        layout->addWidget(new QLabel(QStringLiteral("Contenu de la page"), this));
        resize(320, 120);
    }
    QLineEdit* bar() const { return m_bar; }

protected:
    void changeEvent(QEvent* e) override
    {
        if (e->type() == QEvent::ActivationChange)
            say(QString::fromLatin1(isActiveWindow() ? "active %1" : "inactive %1").arg(m_index));
        QWidget::changeEvent(e);
    }

private:
    int m_index;
    QLineEdit* m_bar = nullptr;
};
} // namespace

int main(int argc, char** argv)
{
    // The accessible application's name is taken when the application object is made.
    for (int i = 1; i + 1 < argc; ++i)
        if (qstrcmp(argv[i], "--name") == 0)
            QApplication::setApplicationName(QString::fromUtf8(argv[i + 1]));
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("application name"), QStringLiteral("name"));
    const QCommandLineOption label(QStringLiteral("label"), QStringLiteral("address bar label"), QStringLiteral("label"));
    const QCommandLineOption address(QStringLiteral("address"), QStringLiteral("address"), QStringLiteral("url"));
    const QCommandLineOption windows(QStringLiteral("windows"), QStringLiteral("window count"), QStringLiteral("n"),
                                     QStringLiteral("1"));
    const QCommandLineOption column(QStringLiteral("column"), QStringLiteral("screen column of the first window"),
                                    QStringLiteral("n"), QStringLiteral("0"));
    parser.addOptions({name, label, address, windows, column});
    parser.process(app);

    std::vector<std::unique_ptr<BrowserWindow>> shown;
    for (int i = 0; i < qMax(1, parser.value(windows).toInt()); ++i) {
        shown.push_back(std::make_unique<BrowserWindow>(
            i, parser.isSet(label) ? parser.value(label) : QString(), parser.value(address)));
        shown.back()->move(40 + 340 * (parser.value(column).toInt() + i), 40);
        shown.back()->show();
    }

    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[1024];
        if (!std::fgets(buffer, sizeof buffer, stdin)) {
            input.setEnabled(false);
            QApplication::quit();
            return;
        }
        const QString line = QString::fromUtf8(buffer).trimmed();
        const QString command = line.section(QLatin1Char(' '), 0, 0);
        const QString argument = line.section(QLatin1Char(' '), 1);
        if (command == QLatin1String("activate")) {
            const auto index = size_t(argument.toUInt());
            if (index < shown.size()) {
                // Qt stamps its focus request with the last server time it saw, which the X
                // server ignores once another program took the focus later: ask for it now.
                auto* x11 = app.nativeInterface<QNativeInterface::QX11Application>();
                Display* display = x11 ? x11->display() : nullptr;
                if (display) {
                    const Window window = Window(shown[index]->winId());
                    XRaiseWindow(display, window);
                    XSetInputFocus(display, window, RevertToParent, CurrentTime);
                    XFlush(display);
                } else {
                    shown[index]->activateWindow();
                }
            }
        } else if (command == QLatin1String("address")) {
            for (auto& w : shown)
                if (w->bar())
                    w->bar()->setText(argument);
        }
    });
    QTimer::singleShot(0, &app, [] { say(QStringLiteral("ready")); });
    return app.exec();
}
