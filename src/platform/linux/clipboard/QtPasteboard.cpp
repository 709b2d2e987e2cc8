#include "QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace {

std::optional<QString> textOf(QClipboard::Mode mode)
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(mode);
    if (!data || !data->hasText())
        return std::nullopt;
    return data->text();
}

} // namespace

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
    if (data->hasText())
        out.append({QStringLiteral("text/plain"), data->text().toUtf8()});
    qsizetype budget = kCopyBudgetBytes;
    for (const QString& format : data->formats()) {
        if (out.size() >= kMaxFormats)
            break;
        // Qt's own image and text aliases are rebuilt from the formats themselves.
        if (format.startsWith(QLatin1String("text/plain")) || format.startsWith(QLatin1String("application/x-qt")))
            continue;
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
