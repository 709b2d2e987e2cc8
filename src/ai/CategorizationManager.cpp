#include "CategorizationManager.h"

#include "store/DebugLog.h"
#include "store/RecordStore.h"
#include "store/Settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>

namespace {

// The schema's case names, in the order of the raw values.
const QStringList kGenCases{"aiPrompt", "otherTask", "workMessage", "document", "email", "personalMessage"};

QString letters(const QString& s)
{
    QString out;
    for (QChar c : s)
        if (c.isLetter())
            out += c.toLower();
    return out;
}

QString trimmed(const QString& s) { return s.trimmed(); }

} // namespace

CategorizationManager::CategorizationManager(OnDeviceLanguageModel& onDevice, Settings& settings, DebugLog& log,
                                             QObject* parent)
    : QObject(parent), m_onDevice(onDevice), m_settings(settings), m_log(log)
{
}

void CategorizationManager::setClassifying(bool classifying)
{
    if (m_isClassifying == classifying)
        return;
    m_isClassifying = classifying;
    Q_EMIT isClassifyingChanged(classifying);
}

QString CategorizationManager::systemPrompt()
{
    return QStringLiteral(
        "You classify dictated texts into EXACTLY one category. Use these definitions:\n"
        "- ai_prompt: an instruction or question written FOR an AI assistant/chatbot — e.g. \"write a function "
        "that…\", \"summarize this\", \"rephrase the following\", \"act as a…\", \"generate…\", \"explain…\". If the "
        "text is telling an AI what to do or asking it something, it is ai_prompt — even if it sounds casual.\n"
        "- work_message: a message to a colleague or client about work (chat/Slack/Teams).\n"
        "- email: an email (greeting/sign-off, or clearly an email body).\n"
        "- document: notes, an article, a report, or longer standalone writing meant to be kept.\n"
        "- other_task: a reminder, to-do, or short note to self.\n"
        "- personal_message: a casual message to a friend or family member.\n"
        "When unsure between ai_prompt and personal_message: if it reads like a command or request aimed at a "
        "tool/assistant, choose ai_prompt.\n"
        "For EACH numbered item, reply with ONLY a JSON array, one object per item, in this exact shape:\n"
        "[{\"i\": 0, \"category\": \"ai_prompt\"}, {\"i\": 1, \"category\": \"email\"}]\n"
        "No prose, no code fences, nothing else.");
}

QString CategorizationManager::onDeviceInstructions()
{
    return QStringLiteral(
        "You classify dictated texts into one category. ai_prompt = an instruction or question written FOR an AI "
        "assistant (write, summarize, rephrase, act as, generate, explain…) — choose this whenever the text is a "
        "command/request aimed at a tool. other_task = a reminder or to-do. work_message = a work chat message. "
        "document = notes or an article. email = an email. personal_message = a casual message to a friend or "
        "family member.");
}

GenerationSchema CategorizationManager::classificationSchema()
{
    QJsonArray cases;
    for (const QString& c : kGenCases)
        cases.append(c);
    const QJsonObject category{{QStringLiteral("type"), QStringLiteral("string")}, {QStringLiteral("enum"), cases}};
    return {QStringLiteral("GenClassificationBatch"),
            QJsonObject{{QStringLiteral("type"), QStringLiteral("object")},
                        {QStringLiteral("properties"),
                         QJsonObject{{QStringLiteral("categories"),
                                      QJsonObject{{QStringLiteral("type"), QStringLiteral("array")},
                                                  {QStringLiteral("items"), category}}}}},
                        {QStringLiteral("required"), QJsonArray{QStringLiteral("categories")}},
                        {QStringLiteral("additionalProperties"), false}}};
}

bool CategorizationManager::hasText(const Transcription& t) { return !trimmed(t.text).isEmpty(); }

QString CategorizationManager::items(const QList<Transcription>& batch)
{
    QStringList lines;
    for (qsizetype i = 0; i < batch.size(); ++i) {
        QString text = trimmed(batch[i].text);
        text.replace(QLatin1String("\r\n"), QLatin1String(" "));
        text.replace(u'\n', u' ').replace(u'\r', u' ').replace(QChar(0x2028), u' ').replace(QChar(0x2029), u' ');
        if (text.size() > kItemLength) {
            // Never split a surrogate pair: half a character would not survive UTF-8.
            const int cut = text.at(kItemLength - 1).isHighSurrogate() ? kItemLength - 1 : kItemLength;
            text.truncate(cut);
        }
        lines << QString::number(i) + QStringLiteral(": ") + text;
    }
    return lines.join(u'\n');
}

std::optional<TranscriptionCategory> CategorizationManager::matchCategory(const QString& text)
{
    const QString lower = text.trimmed().toLower();
    if (const auto exact = categoryFromRaw(lower))
        return exact;
    const QString plain = letters(lower);
    for (TranscriptionCategory c : allCategories())
        if (plain == letters(rawValue(c)))
            return c;
    for (TranscriptionCategory c : allCategories())
        if (lower.contains(rawValue(c)))
            return c;
    return std::nullopt;
}

QList<std::optional<TranscriptionCategory>> CategorizationManager::parseCloudAnswer(const QString& answer,
                                                                                      qsizetype batchSize)
{
    QList<std::optional<TranscriptionCategory>> out(batchSize);
    const qsizetype open = answer.indexOf(u'[');
    const qsizetype close = answer.lastIndexOf(u']');
    if (open < 0 || close < open)
        return out;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(answer.mid(open, close - open + 1).toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return out;
    for (const QJsonValue& v : doc.array()) {
        const QJsonObject item = v.toObject();
        const QJsonValue i = item.value(QLatin1String("i"));
        const QJsonValue category = item.value(QLatin1String("category"));
        if (!i.isDouble() || !category.isString())
            continue;
        const double position = i.toDouble();
        if (position != double(qint64(position)) || position < 0 || position >= double(batchSize))
            continue; // keeps no category; a candidate again next run
        out[qsizetype(position)] = matchCategory(category.toString());
    }
    return out;
}

QCoro::Task<Expected<QList<std::optional<TranscriptionCategory>>, APIError>>
CategorizationManager::classifyBatch(QList<Transcription> batch, AIChoice choice)
{
    using Result = QList<std::optional<TranscriptionCategory>>;
    if (batch.isEmpty())
        co_return unexpected(APIError::serverError(0, QStringLiteral("Nothing to classify")));
    const QString itemText = items(batch);

    if (choice.provider == AIProvider::appleIntelligence) {
        auto generating = m_onDevice.generate(onDeviceInstructions(),
                                              QStringLiteral("Classify EACH numbered item into exactly one category, "
                                                             "in the SAME order.\nItems:\n") +
                                                  itemText,
                                              classificationSchema(), kMaxTokens);
        const auto value = co_await generating;
        if (!value) {
            const QString message = value.error().message().value_or(value.error().errorDescription());
            if (message == m_onDevice.availabilityMessage())
                co_return unexpected(APIError::serverError(0, QStringLiteral("Apple Intelligence unavailable")));
            co_return unexpected(value.error());
        }
        Result out(batch.size());
        const QJsonArray categories = value->toObject().value(QLatin1String("categories")).toArray();
        // Extra entries are ignored, missing ones leave their dictations waiting.
        for (qsizetype n = 0; n < std::min(categories.size(), batch.size()); ++n) {
            const qsizetype index = kGenCases.indexOf(categories.at(n).toString());
            if (index >= 0)
                out[n] = allCategories().at(index);
        }
        co_return out;
    }

    if (!m_claude)
        co_return unexpected(APIError::serverError(0, QStringLiteral("Apple Intelligence unavailable")));
    auto sending = m_claude->send({ChatMessage::user(QStringLiteral("Items:\n") + itemText)}, choice.model,
                                  systemPrompt(), kMaxTokens, choice.provider);
    const auto answer = co_await sending;
    if (!answer)
        co_return unexpected(answer.error());
    co_return parseCloudAnswer(*answer, batch.size());
}

int CategorizationManager::store(const QList<Transcription>& batch,
                                 const QList<std::optional<TranscriptionCategory>>& categories)
{
    int written = 0;
    const StoreResult saved = m_store->save([&]() -> StoreResult {
        for (qsizetype i = 0; i < batch.size(); ++i) {
            if (!categories.value(i))
                continue;
            // Read again: the dictation may have been edited or deleted while the model thought.
            auto current = m_store->find<Transcription>(batch[i].id);
            if (!current || current->categoryRaw)
                continue;
            current->categoryRaw = rawValue(*categories[i]);
            if (auto r = m_store->replace(*current); !r)
                return r;
            ++written;
        }
        return {};
    });
    return saved ? written : 0;
}

QCoro::Task<> CategorizationManager::classifyPending()
{
    if (m_isClassifying || !m_claude || !m_store)
        co_return;
    QPointer<CategorizationManager> self(this);
    setClassifying(true);
    const AIChoice choice = AIProviderSettings::resolved(AIFeature::categorization, m_settings);
    QList<Transcription> pending = m_store->fetch<Transcription>(
        [](const Transcription& t) { return !t.categoryRaw && hasText(t); }, {SortKey{QStringLiteral("createdAt")}});

    int classified = 0;
    std::optional<APIError> failure;
    for (qsizetype start = 0; start < pending.size(); start += kBatchSize) {
        const QList<Transcription> batch = pending.mid(start, kBatchSize);
        auto classifying = classifyBatch(batch, choice);
        const auto categories = co_await classifying;
        if (!self)
            co_return;
        if (!categories) {
            failure = categories.error();
            break;
        }
        classified += store(batch, *categories);
    }
    if (failure) {
        m_log.log(QStringLiteral("APP categorization failed: ") +
                  failure->message().value_or(failure->errorDescription()));
    } else {
        m_lastSummary = QString::number(classified) + QStringLiteral(" dictées classées");
        Q_EMIT lastSummaryChanged();
        m_log.log(QStringLiteral("APP categorization: ") + QString::number(classified) +
                  QStringLiteral(" dictations classified"));
    }
    setClassifying(false);
}

void CategorizationManager::maybeAutoClassify()
{
    if (m_isClassifying || !m_claude || !m_store)
        return;
    int waiting = 0;
    m_store->forEach<Transcription>([&waiting](const Transcription& t) { waiting += !t.categoryRaw; });
    if (waiting < kAutoThreshold)
        return;
    m_log.log(QStringLiteral("APP categorization: seuil atteint → auto-classification"));
    QTimer::singleShot(0, this, [this] { classifyPending(); });
}
