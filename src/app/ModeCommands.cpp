#include "CliArgs.h"
#include "CliCommand.h"
#include "CliVocabulary.h"
#include "RecordLookup.h"
#include "Services.h"
#include "dictation/TranscriptionModelChoice.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

const QSet<QString> kModeOptions{QStringLiteral("provider"), QStringLiteral("model"),     QStringLiteral("language"),
                                 QStringLiteral("ai"),       QStringLiteral("ai-provider"), QStringLiteral("ai-model"),
                                 QStringLiteral("prompt"),   QStringLiteral("preset"),    QStringLiteral("trim"),
                                 QStringLiteral("live"),     QStringLiteral("name")};

QString modeName(const TranscriptionMode& m) { return m.name; }

Expected<bool, QString> onOff(const QString& option, const QString& value)
{
    if (value == QLatin1String("on") || value == QLatin1String("true") || value == QLatin1String("1"))
        return true;
    if (value == QLatin1String("off") || value == QLatin1String("false") || value == QLatin1String("0"))
        return false;
    return unexpected(QStringLiteral("--%1 attend on ou off, pas « %2 ».").arg(option, value));
}

// Applies the options a user gave; nothing is changed when one of them is wrong.
Expected<TranscriptionMode, CliError> applyOptions(TranscriptionMode m, const CliArgs& a, RecordStore& store)
{
    if (a.has(QStringLiteral("name"))) {
        if (a.option(QStringLiteral("name")).trimmed().isEmpty())
            return unexpected(CliError{QStringLiteral("Le nom d'un mode ne peut pas être vide.")});
        m.name = a.option(QStringLiteral("name")).trimmed();
    }
    if (a.has(QStringLiteral("provider"))) {
        const QString p = a.option(QStringLiteral("provider"));
        if (!transcriptionProviderFromRaw(p)) {
            return unexpected(CliError{QStringLiteral("Fournisseur de transcription inconnu : %1 (%2)")
                                           .arg(p, CliVocabulary::listed(CliVocabulary::transcriptionProviders()))});
        }
        m.transcriptionProviderRaw = p;
    }
    if (a.has(QStringLiteral("provider")) || a.has(QStringLiteral("model"))) {
        const std::optional<QString> asked =
            a.has(QStringLiteral("model")) ? std::optional(a.option(QStringLiteral("model"))) : std::nullopt;
        if (const auto provider = transcriptionProviderFromRaw(m.transcriptionProviderRaw)) {
            const auto model = TranscriptionModelChoice::modelFor(*provider, asked, m.transcriptionModel);
            if (!model)
                return unexpected(model.error());
            m.transcriptionModel = *model;
        } else if (asked) {
            m.transcriptionModel = *asked; // a provider this version does not know: nothing to check against
        }
    }
    if (a.has(QStringLiteral("language")))
        m.language = a.option(QStringLiteral("language")).trimmed().isEmpty() ? QStringLiteral("auto")
                                                                              : a.option(QStringLiteral("language"));
    if (a.has(QStringLiteral("ai-provider"))) {
        const QString p = a.option(QStringLiteral("ai-provider"));
        if (!aiProviderFromRaw(p)) {
            return unexpected(CliError{QStringLiteral("Fournisseur d'IA inconnu : %1 (%2)")
                                           .arg(p, CliVocabulary::listed(CliVocabulary::aiProviders()))});
        }
        // The override pair is what a dictation rewrites with; the plain pair is kept in step.
        m.aiProviderRaw = p;
        m.aiOverrideProviderRaw = p;
    }
    if (a.has(QStringLiteral("ai-model"))) {
        m.aiModel = a.option(QStringLiteral("ai-model"));
        m.aiOverrideModel = m.aiModel;
        if (!m.aiOverrideProviderRaw)
            m.aiOverrideProviderRaw = m.aiProviderRaw;
    }
    for (const auto& [option, field] : {std::pair{QStringLiteral("ai"), &TranscriptionMode::enableAIEnhancement},
                                        std::pair{QStringLiteral("trim"), &TranscriptionMode::trimSilence},
                                        std::pair{QStringLiteral("live"), &TranscriptionMode::liveTranscription}}) {
        if (!a.has(option))
            continue;
        const auto v = onOff(option, a.option(option));
        if (!v)
            return unexpected(CliError{v.error()});
        m.*field = *v;
    }
    if (a.has(QStringLiteral("prompt")) && a.has(QStringLiteral("preset")))
        return unexpected(CliError{QStringLiteral("--prompt et --preset ne vont pas ensemble.")});
    if (a.has(QStringLiteral("prompt"))) {
        m.promptTemplate = a.option(QStringLiteral("prompt"));
        m.promptPresetID.reset();
    }
    if (a.has(QStringLiteral("preset"))) {
        const auto preset = lookupRecord<PromptPreset>(
            store, a.option(QStringLiteral("preset")), [](const PromptPreset& p) { return p.name; },
            QStringLiteral("prompt"));
        if (!preset)
            return unexpected(CliError{preset.error(), 1});
        m.promptTemplate = preset->prompt;
        m.promptPresetID = preset->id;
    }
    return m;
}

void activate(Settings& settings, const TranscriptionMode& m)
{
    settings.setValue(SharedDefaultsKey::activeModeID, uuidText(m.id));
    settings.setValue(SharedDefaultsKey::activeModeName, m.name);
}

int listModes(CliContext& ctx, const CliArgs& args)
{
    const QList<TranscriptionMode> modes =
        ctx.services.store().fetch<TranscriptionMode>({}, {{QStringLiteral("sortOrder"), true}});
    if (args.flag(QStringLiteral("json"))) {
        QJsonArray array;
        for (const TranscriptionMode& m : modes)
            array.append(toJson(m));
        ctx.out << QJsonDocument(array).toJson(QJsonDocument::Indented);
        return 0;
    }
    if (modes.isEmpty())
        ctx.err << "Aucun mode : ovra modes add NOM en crée un.\n";
    const QString active = ctx.services.settings().stringValue(SharedDefaultsKey::activeModeID).value_or(QString());
    for (const TranscriptionMode& m : modes) {
        ctx.out << (uuidText(m.id) == active.toUpper() ? "* " : "  ") << uuidText(m.id) << "  " << m.name << "  "
                << m.transcriptionProviderRaw << "/" << m.transcriptionModel
                << (m.enableAIEnhancement ? QStringLiteral("  IA %1/%2").arg(m.aiProviderRaw, m.aiModel) : QString())
                << "\n";
    }
    return 0;
}

QCoro::Task<int> modesCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {QStringLiteral("json")}, kModeOptions);
    if (!parsed)
        co_return usageError(ctx, parsed.error());
    const CliArgs& a = *parsed;
    const QString verb = a.at(0);
    RecordStore& store = ctx.services.store();
    Settings& settings = ctx.services.settings();

    if (verb == QLatin1String("list") && a.positional().size() == 1)
        co_return listModes(ctx, a);

    if (verb == QLatin1String("add") && a.positional().size() == 2) {
        TranscriptionMode m;
        m.name = a.at(1).trimmed();
        if (m.name.isEmpty())
            co_return usageError(ctx, QStringLiteral("Le nom d'un mode ne peut pas être vide."));
        m.sortOrder = nextSortOrder<TranscriptionMode>(store);
        auto applied = applyOptions(m, a, store);
        if (!applied)
            co_return refuse(ctx, applied.error());
        co_return createAndPrint(ctx, *applied);
    }

    if ((verb == QLatin1String("set") || verb == QLatin1String("remove") || verb == QLatin1String("activate")) &&
        a.positional().size() == 2) {
        const auto found = lookupRecord<TranscriptionMode>(store, a.at(1), &modeName, QStringLiteral("mode"));
        if (!found) {
            ctx.err << found.error() << "\n";
            co_return 1;
        }
        const bool isActive = settings.stringValue(SharedDefaultsKey::activeModeID).value_or(QString()).toUpper() ==
                              uuidText(found->id);
        StoreResult ok;
        if (verb == QLatin1String("set")) {
            auto applied = applyOptions(*found, a, store);
            if (!applied)
                co_return refuse(ctx, applied.error());
            ok = store.update(*applied);
            if (ok && isActive)
                activate(settings, *applied); // keeps the shared active name in step
        } else if (verb == QLatin1String("remove")) {
            ok = store.remove<TranscriptionMode>(found->id);
            if (ok && isActive) {
                settings.remove(SharedDefaults::key(SharedDefaultsKey::activeModeID));
                settings.remove(SharedDefaults::key(SharedDefaultsKey::activeModeName));
            }
        } else {
            activate(settings, *found);
        }
        if (!ok) {
            ctx.err << ok.error().message << "\n";
            co_return 1;
        }
        co_return 0;
    }
    co_return usageError(ctx, {});
}

} // namespace

QList<CliCommand> modeCommands()
{
    return {{QStringLiteral("modes"), QStringLiteral("Les modes de dictée : transcription, langue, réécriture par l'IA."),
             &modesCommand,
             {},
             {{QStringLiteral("list"), QStringLiteral("[--json]"), QStringLiteral("Liste les modes ; le mode actif est marqué *."),
               Services::StoreUse::readOnly},
              {QStringLiteral("add"), QStringLiteral("NOM [OPTIONS]"), QStringLiteral("Ajoute un mode et affiche son identifiant.")},
              {QStringLiteral("set"), QStringLiteral("NOM|ID [OPTIONS]"), QStringLiteral("Change les réglages d'un mode.")},
              {QStringLiteral("remove"), QStringLiteral("NOM|ID"), QStringLiteral("Supprime un mode.")},
              {QStringLiteral("activate"), QStringLiteral("NOM|ID"), QStringLiteral("Fait d'un mode le mode actif.")}},
             QStringLiteral("Options :\n"
                            "  --provider FOURNISSEUR      transcription : %1\n"
                            "  --model MODÈLE              modèle de transcription\n"
                            "  --language LANGUE           code de langue (en, fr…) ou auto\n"
                            "  --ai on|off                 réécriture du texte par l'IA\n"
                            "  --ai-provider FOURNISSEUR   IA : %2\n"
                            "  --ai-model MODÈLE           modèle de l'IA\n"
                            "  --prompt TEXTE              consigne donnée à l'IA\n"
                            "  --preset NOM|ID             reprend un prompt enregistré (ovra prompts list)\n"
                            "  --trim on|off               retire les silences avant l'envoi\n"
                            "  --live on|off               transcription pendant l'enregistrement\n"
                            "  --name NOM                  renomme le mode")
                 .arg(CliVocabulary::listed(CliVocabulary::transcriptionProviders()),
                      CliVocabulary::listed(CliVocabulary::aiProviders()))}};
}
