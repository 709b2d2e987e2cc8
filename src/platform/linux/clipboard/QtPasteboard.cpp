#include "QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <algorithm>

namespace {

std::optional<QString> textOf(QClipboard::Mode mode)
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(mode);
    if (!data || !data->hasText())
        return std::nullopt;
    return data->text();
}

} // namespace

const QStringList QtPasteboard::kKeptFormats{QStringLiteral("text/html"), QStringLiteral("text/rtf"),
                                             QStringLiteral("text/uri-list"),
                                             QStringLiteral("x-special/gnome-copied-files")};

QStringList QtPasteboard::formatsToKeep(const QStringList& offered, bool hasText)
{
    QStringList wanted;
    for (const QString& format : kKeptFormats)
        if (offered.contains(format))
            wanted << format;
    // An image alone (a screenshot, a picture copied from a viewer) comes back in one format:
    // PNG when offered, else the owner's first.
    if (!hasText) {
        const auto image = std::find_if(offered.begin(), offered.end(),
                                        [](const QString& f) { return f.startsWith(QLatin1String("image/")); });
        if (offered.contains(QLatin1String("image/png")))
            wanted << QStringLiteral("image/png");
        else if (image != offered.end())
            wanted << *image;
    }
    return wanted;
}

std::optional<QString> QtPasteboard::text() const { return textOf(QClipboard::Clipboard); }

std::optional<QString> QtPasteboard::selectionText() const
{
    if (!QGuiApplication::clipboard()->supportsSelection())
        return std::nullopt;
    return textOf(QClipboard::Selection);
}

PasteboardContents QtPasteboard::contents() const
{
    PasteboardContents out;
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data)
        return out;
    const QStringList wanted = formatsToKeep(data->formats(), data->hasText());
    if (data->hasText())
        out.append({QStringLiteral("text/plain"), data->text().toUtf8()});
    qsizetype budget = kCopyBudgetBytes;
    for (const QString& format : wanted) {
        const QByteArray bytes = data->data(format);
        if (bytes.size() > budget)
            continue;
        budget -= bytes.size();
        out.append({format, bytes});
    }
    return out;
}

void QtPasteboard::setText(const QString& text) { QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard); }

void QtPasteboard::setContents(const PasteboardContents& contents)
{
    if (contents.isEmpty()) {
        QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
        return;
    }
    auto* data = new QMimeData;
    for (const auto& [format, bytes] : contents) {
        if (format == QLatin1String("text/plain"))
            data->setText(QString::fromUtf8(bytes));
        else
            data->setData(format, bytes);
    }
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}
