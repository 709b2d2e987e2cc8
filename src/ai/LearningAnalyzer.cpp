#include "LearningAnalyzer.h"

#include "store/RecordStore.h"
#include "store/Settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QRegularExpression>

namespace {

QString cut(const QString& text, int limit)
{
    if (text.size() <= limit)
        return text;
    // Never split a surrogate pair: half a character would not survive UTF-8.
    return text.left(text.at(limit - 1).isHighSurrogate() ? limit - 1 : limit);
}

bool blank(const std::optional<QString>& s) { return !s || s->trimmed().isEmpty(); }

QString firstText(std::initializer_list<const std::optional<QString>*> candidates, const QString& fallback)
{
    for (const auto* c : candidates)
        if (!blank(*c))
            return **c;
    return fallback;
}

bool edited(const Transcription& t) { return !blank(t.userEditedText); }

// Typed decoding of one suggestion: a field of the wrong type fails the whole answer.
struct Decoder
{
    bool failed = false;

    QString required(const QJsonObject& o, const char* key)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (!v.isString())
            failed = true;
        return v.toString();
    }
    std::optional<QString> optional(const QJsonObject& o, const char* key)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        if (!v.isString())
            failed = true;
        return v.toString();
    }
    std::optional<QStringList> optionalList(const QJsonObject& o, const char* key)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        if (!v.isArray()) {
            failed = true;
            return std::nullopt;
        }
        QStringList out;
        for (const QJsonValue& item : v.toArray()) {
            if (!item.isString())
                failed = true;
            out << item.toString();
        }
        return out;
    }
};

int scopeBits(const QStringList& names)
{
    int bits = 0;
    for (const QString& name : names) {
        const QString lower = name.toLower();
        if (lower == QLatin1String("transcription"))
            bits |= DictionaryScopes::transcription;
        else if (lower == QLatin1String("replacement"))
            bits |= DictionaryScopes::replacement;
        else if (lower == QLatin1String("transformation"))
            bits |= DictionaryScopes::transformation;
    }
    return bits;
}

QString shown(const APIError& e)
{
    if (e.kind() == APIError::Kind::serverError && e.status() == 0 && e.message())
        return *e.message();
    return e.errorDescription();
}

} // namespace

LearningAnalyzer::LearningAnalyzer(ChatClient& claude, OnDeviceLanguageModel& onDevice, Settings& settings,
                                   QObject* parent)
    : QObject(parent), m_claude(claude), m_onDevice(onDevice), m_settings(settings)
{
}

void LearningAnalyzer::setAnalyzing(bool analyzing)
{
    if (m_isAnalyzing == analyzing)
        return;
    m_isAnalyzing = analyzing;
    Q_EMIT isAnalyzingChanged(analyzing);
}

void LearningAnalyzer::setLastError(std::optional<QString> error)
{
    if (m_lastError == error)
        return;
    m_lastError = std::move(error);
    Q_EMIT lastErrorChanged();
}

QString LearningAnalyzer::nothingToAnalyzeMessage()
{
    return QStringLiteral("Rien à analyser — corrige d'abord des dictées.");
}
QString LearningAnalyzer::runningMessage() { return QStringLiteral("Analyse en cours…"); }
QString LearningAnalyzer::noSuggestionError() { return QStringLiteral("The analyzer returned no actionable suggestions."); }

QString LearningAnalyzer::outcomeMessage(const Outcome& outcome)
{
    if (outcome.cases == 0)
        return nothingToAnalyzeMessage();
    if (outcome.kept > 0)
        return QString::number(outcome.kept) + QStringLiteral(" suggestion(s) à examiner.");
    return QStringLiteral("Aucune nouvelle suggestion.");
}

QString LearningAnalyzer::tuningPrompt()
{
    return QStringLiteral(
        "You are a dictation pipeline tuning assistant. The user runs a voice → Whisper → deterministic "
        "find-replace → optional AI rewrite pipeline. You receive:\n"
        "- `existingDictionary`: the user's vocabulary entries (term, pronunciations, scopes, isPinned).\n"
        "- `existingPrompts`: the rewrite prompts the user already uses (name, prompt).\n"
        "- N `cases`: each with `raw` (the Whisper text), `afterReplace` (the text after find-replace), `aiOutput` "
        "(the text after the AI rewrite), `userEdit` (the user's final hand-edit, present when `edited` is true) "
        "and `modeName` (the mode used).\n"
        "\n"
        "Your PRIMARY output is style rules: durable, reusable writing instructions that will be injected into the "
        "AI rewrite system prompt for every future dictation. Look at tone, formality, punctuation habits, "
        "formatting (lists, line breaks, paragraphs), greetings and sign-offs, language quirks, and how filler "
        "words, hesitations and self-corrections are handled.\n"
        "- Edited cases are ground truth: the difference between `aiOutput` and `userEdit` is exactly what the "
        "user wants.\n"
        "- Unedited cases still teach: topics, vocabulary and the user's natural style.\n"
        "\n"
        "Use `newEntry` ONLY for genuine vocabulary: proper nouns, jargon, brand names that Whisper mishears. "
        "Vocabulary is NOT style — never encode a style preference as a dictionary entry, and never suggest a "
        "find-replace for something a style rule expresses better.\n"
        "\n"
        "Output STRICT JSON with this exact shape:\n"
        "{\"suggestions\": [\n"
        "  {\"kind\": \"styleRule\", \"title\": \"E-mail sign-off\", \"rationale\": \"The user ends every e-mail the "
        "same way.\", \"ruleText\": \"End every e-mail with « Merci et bonne journée » unless the user dictates "
        "another sign-off.\"},\n"
        "  {\"kind\": \"newEntry\", \"title\": \"Add Mirelo\", \"rationale\": \"Whisper writes it as « mire l'eau ».\", "
        "\"term\": \"Mirelo\", \"pronunciations\": [\"mire l'eau\"], \"replacement\": null, \"scopes\": "
        "[\"transcription\", \"transformation\"]}\n"
        "]}\n"
        "\n"
        "Rules:\n"
        "- `ruleText` must be self-contained, specific and actionable (for example: \"End every e-mail with « "
        "Merci et bonne journée » unless the user dictates another sign-off.\").\n"
        "- Write `ruleText` in English.\n"
        "- One rule per suggestion.\n"
        "- At most 3 styleRule suggestions per analysis: only the clearest patterns.\n"
        "- Preserve all accents and diacritics exactly (the user dictates in Canadian French), especially in "
        "`term`, `pronunciations` and `replacement`.\n"
        "- Use scopes from {transcription, replacement, transformation}.\n"
        "- Only use `replacement` when the same wrong form recurs literally.\n"
        "- Skip suggestions that duplicate an existing dictionary entry.\n"
        "- Never propose a style rule that an `existingPrompts` entry already requests.\n"
        "- If there is nothing useful to suggest, return {\"suggestions\": []}.\n"
        "- Output JSON only, no markdown fences, no commentary before or after.");
}

QString LearningAnalyzer::frenchParagraph()
{
    return QStringLiteral(
        "\n\nLanguage: write ALL fields the user reads — `title`, `rationale` AND `ruleText` — in natural Canadian "
        "French. This OVERRIDES any \"in English\" note above: the rewrite model follows French instructions "
        "perfectly and the user reads the rule in the app. Still spell proper nouns, brand names and the `term` / "
        "`pronunciations` / `replacement` fields exactly as dictated, keeping every accent.");
}

GenerationSchema LearningAnalyzer::suggestionSchema()
{
    auto text = [](const char* description) {
        return QJsonObject{{QStringLiteral("type"), QStringLiteral("string")},
                           {QStringLiteral("description"), QString::fromUtf8(description)}};
    };
    const QJsonObject suggestion{
        {QStringLiteral("type"), QStringLiteral("object")},
        {QStringLiteral("properties"),
         QJsonObject{
             {QStringLiteral("kind"),
              text("\"newEntry\" for a vocabulary term to add, or \"styleRule\" for a writing-style rule.")},
             {QStringLiteral("title"), text("Short title for the suggestion.")},
             {QStringLiteral("rationale"), text("Why this is suggested (one sentence).")},
             {QStringLiteral("term"), text("The vocabulary term (only for newEntry; empty string otherwise).")},
             {QStringLiteral("replacement"),
              text("Preferred spelling / replacement (only for newEntry; empty otherwise).")},
             {QStringLiteral("ruleText"), text("The style-rule text (only for styleRule; empty string otherwise).")},
         }},
        {QStringLiteral("required"), QJsonArray{QStringLiteral("kind"), QStringLiteral("title"),
                                                QStringLiteral("rationale"), QStringLiteral("term"),
                                                QStringLiteral("replacement"), QStringLiteral("ruleText")}},
        {QStringLiteral("additionalProperties"), false}};
    return {QStringLiteral("GenSuggestionList"),
            QJsonObject{{QStringLiteral("type"), QStringLiteral("object")},
                        {QStringLiteral("properties"),
                         QJsonObject{{QStringLiteral("suggestions"),
                                      QJsonObject{{QStringLiteral("type"), QStringLiteral("array")},
                                                  {QStringLiteral("items"), suggestion}}}}},
                        {QStringLiteral("required"), QJsonArray{QStringLiteral("suggestions")}},
                        {QStringLiteral("additionalProperties"), false}}};
}

QString LearningAnalyzer::prepareText(const QString& text, bool privacyScrub)
{
    QString out = cut(text, kTextLimit);
    if (!privacyScrub)
        return out;
    static const QRegularExpression digits(QStringLiteral("\\d{4,}"), QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression email(QStringLiteral("[\\w.\\-]+@[\\w.\\-]+"),
                                          QRegularExpression::UseUnicodePropertiesOption);
    out.replace(digits, QStringLiteral("[NUM]"));
    out.replace(email, QStringLiteral("[EMAIL]"));
    return out;
}

bool LearningAnalyzer::qualifies(const Transcription& t)
{
    if (t.analyzedAt || t.purgedAt)
        return false;
    return !t.text.trimmed().isEmpty() || !blank(t.rawWhisperText) || edited(t);
}

QList<Transcription> LearningAnalyzer::selectCases(const QList<Transcription>& dictations, int caseLimit)
{
    QList<Transcription> cases;
    for (const Transcription& t : dictations)
        if (qualifies(t))
            cases << t;
    // Corrections teach the most; among equals the newest first.
    std::stable_sort(cases.begin(), cases.end(), [](const Transcription& a, const Transcription& b) {
        if (edited(a) != edited(b))
            return edited(a);
        return a.createdAt > b.createdAt;
    });
    if (cases.size() > caseLimit)
        cases.resize(std::max(caseLimit, 0));
    return cases;
}

QJsonObject LearningAnalyzer::payload(const QList<Transcription>& cases, const QList<DictionaryEntry>& dictionary,
                                      const QList<PromptPreset>& presets, bool privacyScrub)
{
    QJsonArray entries;
    for (const DictionaryEntry& e : dictionary)
        entries.append(QJsonObject{{QStringLiteral("term"), e.term},
                                   {QStringLiteral("pronunciations"), QJsonArray::fromStringList(e.pronunciations())},
                                   {QStringLiteral("scopes"), QJsonArray::fromStringList(DictionaryScopes::names(e.scopesRaw))},
                                   {QStringLiteral("isPinned"), e.isPinned}});
    QJsonArray prompts;
    for (const PromptPreset& p : presets)
        prompts.append(QJsonObject{{QStringLiteral("name"), prepareText(p.name, privacyScrub)},
                                   {QStringLiteral("prompt"), prepareText(p.prompt, privacyScrub)}});
    QJsonArray envelopes;
    for (const Transcription& t : cases) {
        const QString raw = firstText({&t.rawWhisperText}, t.text);
        QJsonObject c{{QStringLiteral("raw"), prepareText(raw, privacyScrub)},
                      {QStringLiteral("afterReplace"),
                       prepareText(firstText({&t.afterReplacementsText}, raw), privacyScrub)},
                      {QStringLiteral("aiOutput"), prepareText(firstText({&t.aiOutputText}, t.text), privacyScrub)},
                      {QStringLiteral("edited"), edited(t)},
                      {QStringLiteral("modeName"), t.modeName}};
        if (t.userEditedText)
            c.insert(QStringLiteral("userEdit"), prepareText(*t.userEditedText, privacyScrub));
        envelopes.append(c);
    }
    return QJsonObject{{QStringLiteral("existingDictionary"), entries},
                       {QStringLiteral("existingPrompts"), prompts},
                       {QStringLiteral("cases"), envelopes}};
}

std::optional<QList<LearningSuggestion>> LearningAnalyzer::mapSuggestions(const QJsonObject& envelope)
{
    const QJsonValue list = envelope.value(QLatin1String("suggestions"));
    if (!list.isArray())
        return std::nullopt;
    Decoder d;
    QList<LearningSuggestion> out;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QJsonValue& v : list.toArray()) {
        if (!v.isObject())
            return std::nullopt;
        const QJsonObject o = v.toObject();
        const QString kind = d.required(o, "kind");
        const QString title = d.required(o, "title");
        const QString rationale = d.required(o, "rationale");
        const auto term = d.optional(o, "term");
        const auto pronunciations = d.optionalList(o, "pronunciations");
        const auto replacement = d.optional(o, "replacement");
        const auto scopes = d.optionalList(o, "scopes");
        const auto ruleText = d.optional(o, "ruleText");
        const auto promptText = d.optional(o, "promptText");
        if (d.failed)
            return std::nullopt;
        LearningSuggestion s;
        s.createdAt = now;
        s.rationale = rationale;
        if (kind == QLatin1String("newEntry")) {
            if (blank(term))
                continue;
            s.kindRaw = QStringLiteral("newEntry");
            s.title = title.isEmpty() ? *term : title;
            s.suggestedTerm = term;
            DictionaryEntry spelled;
            spelled.setPronunciations(pronunciations.value_or(QStringList()));
            s.suggestedPronunciationsRaw = spelled.pronunciationsRaw;
            s.suggestedReplacement = blank(replacement) ? std::nullopt : replacement;
            s.suggestedScopesRaw = scopeBits(scopes.value_or(QStringList()));
        } else if (kind == QLatin1String("styleRule") || kind == QLatin1String("promptAdjustment")) {
            const QString rule = !blank(ruleText) ? *ruleText : promptText.value_or(QString());
            if (rule.trimmed().isEmpty())
                continue;
            s.kindRaw = QStringLiteral("styleRule");
            s.title = title.isEmpty() ? QStringLiteral("Style rule") : title;
            s.suggestedPromptText = rule;
        } else {
            continue;
        }
        out << s;
    }
    return out;
}

std::optional<QList<LearningSuggestion>> LearningAnalyzer::parseAnswer(const QString& answer)
{
    const qsizetype open = answer.indexOf(u'{');
    const qsizetype close = answer.lastIndexOf(u'}');
    if (open < 0 || close < open)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(answer.mid(open, close - open + 1).toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return mapSuggestions(doc.object());
}

QCoro::Task<LearningAnalyzer::Outcome> LearningAnalyzer::analyze(QList<Transcription> dictations,
                                                                 QList<DictionaryEntry> dictionary,
                                                                 QList<PromptPreset> presets, RecordStore& store,
                                                                 AIChoice choice, bool privacyScrub, int caseLimit)
{
    Outcome outcome;
    if (m_isAnalyzing)
        co_return outcome;
    const QList<Transcription> cases = selectCases(dictations, caseLimit);
    outcome.cases = int(cases.size());
    if (cases.isEmpty())
        co_return outcome;
    QPointer<LearningAnalyzer> self(this);
    setAnalyzing(true);
    setLastError(std::nullopt);

    QString system = tuningPrompt();
    if (m_settings.boolValue(SharedDefaultsKey::aiRespondInFrench, false))
        system += frenchParagraph();
    const QString user =
        QStringLiteral("Analyze this dataset and return suggestions per the format in the system prompt.\n\n") +
        QString::fromUtf8(QJsonDocument(payload(cases, dictionary, presets, privacyScrub)).toJson(QJsonDocument::Compact));

    std::optional<QList<LearningSuggestion>> suggestions;
    std::optional<APIError> failure;
    if (choice.provider == AIProvider::appleIntelligence) {
        auto generating = m_onDevice.generate(system, user, suggestionSchema(), kMaxTokens);
        const auto value = co_await generating;
        if (value)
            suggestions = mapSuggestions(value->toObject());
        else
            failure = value.error();
    } else {
        auto sending = m_claude.send({ChatMessage::user(user)}, choice.model, system, kMaxTokens, choice.provider);
        const auto answer = co_await sending;
        if (answer)
            suggestions = parseAnswer(*answer);
        else
            failure = answer.error();
    }
    if (!self)
        co_return outcome;
    if (failure) {
        outcome.failed = true;
        setLastError(shown(*failure));
        setAnalyzing(false);
        co_return outcome;
    }

    if (!suggestions) {
        // An answer that cannot be read teaches nothing: its dictations stay for the next run.
        setLastError(noSuggestionError());
        setAnalyzing(false);
        co_return outcome;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const StoreResult saved = store.save([&]() -> StoreResult {
        for (const LearningSuggestion& s : *suggestions)
            if (auto r = store.insert(s); !r)
                return r;
        for (const Transcription& c : cases) {
            // Read again: the dictation may have been edited or deleted meanwhile.
            auto current = store.find<Transcription>(c.id);
            if (!current)
                continue;
            current->analyzedAt = now;
            if (auto r = store.replace(*current); !r)
                return r;
        }
        return {};
    });
    if (!saved) {
        outcome.failed = true;
        setLastError(saved.error().message);
    } else {
        outcome.kept = int(suggestions->size());
        if (suggestions->isEmpty())
            setLastError(noSuggestionError());
        else
            Q_EMIT suggestionsAdded(outcome.kept);
    }
    setAnalyzing(false);
    co_return outcome;
}

QCoro::Task<LearningAnalyzer::Outcome> LearningAnalyzer::analyzeStore(RecordStore& store)
{
    const QList<Transcription> dictations =
        store.fetch<Transcription>([](const Transcription& t) { return qualifies(t); });
    const QList<PromptPreset> presets = store.fetch<PromptPreset>([](const PromptPreset& p) { return !p.isTrashed; });
    auto analyzing = analyze(dictations, store.fetch<DictionaryEntry>(), presets, store,
                             AIProviderSettings::resolved(AIFeature::learning, m_settings),
                             m_settings.boolValue(SharedDefaultsKey::learningPrivacyScrub, true));
    co_return co_await analyzing;
}
