#include "CliArgs.h"
#include "CliCommand.h"
#include "CliVocabulary.h"
#include "Services.h"
#include "Terminal.h"

#include "ai/CloudProviderCatalog.h"
#include "sync/CloudFolder.h"


namespace {

std::optional<CloudProviderInfo> providerArg(CliContext& ctx, const QString& id)
{
    auto p = CloudProviderCatalog::find(id);
    if (!p)
        usageError(ctx, QStringLiteral("Fournisseur inconnu : %1 (%2)")
                            .arg(id, CliVocabulary::listed(CliVocabulary::keyProviders())));
    return p;
}

QCoro::Task<int> setKey(CliContext& ctx, const QString& id)
{
    const auto provider = providerArg(ctx, id);
    if (!provider)
        co_return 2;
    const auto read = ctx.terminal.readSecret(QStringLiteral("Clé %1 : ").arg(provider->displayName));
    if (!read) {
        ctx.err << read.error() << "\n";
        co_return 1;
    }
    const QString key = read.value();
    if (key.isEmpty()) {
        ctx.err << "Aucune clé lue sur l'entrée standard : la clé enregistrée reste inchangée.\n";
        co_return 1;
    }
    const auto saved = ctx.services.vault().save(key, provider->keychainKey);
    if (!saved) {
        ctx.err << saved.error().message() << "\n";
        co_return 1;
    }
    ctx.out << "Clé " << provider->displayName << " enregistrée.\n";
    co_return 0;
}

QCoro::Task<int> listKeys(CliContext& ctx)
{
    // Awaited tasks are named: GCC 12 mishandles temporaries inside a co_await expression.
    auto scanning = ctx.services.vault().start();
    co_await scanning;
    const auto& saved = ctx.services.vault().savedKeys();
    for (const CloudProviderInfo& p : CloudProviderCatalog::all())
        if (saved.contains(p.keychainKey))
            ctx.out << p.id << "\n";
    if (saved.contains(KeychainKey::backupPassword))
        ctx.out << "backup-password\n";
    if (saved.isEmpty())
        ctx.err << "Aucune clé enregistrée : ovra keys set FOURNISSEUR en ajoute une.\n";
    co_return 0;
}

QCoro::Task<int> verifyKeys(CliContext& ctx, const QString& id)
{
    QList<CloudProviderInfo> providers;
    if (!id.isEmpty()) {
        const auto p = providerArg(ctx, id);
        if (!p)
            co_return 2;
        providers << *p;
    } else {
        providers = CloudProviderCatalog::all();
    }
    bool allValid = true;
    int checked = 0;
    for (const CloudProviderInfo& p : providers) {
        const auto key = ctx.services.vault().apiKey(p.keychainKey);
        if (!key) {
            if (!id.isEmpty()) {
                ctx.err << p.id << " : aucune clé enregistrée\n";
                allValid = false;
            }
            continue;
        }
        ++checked;
        auto verifying = ctx.services.keyVerifier().verify(p, *key);
        const auto result = co_await verifying;
        if (!result) {
            ctx.out << p.id << " : " << result.error().errorDescription() << "\n";
            allValid = false;
        } else if (result.value()) {
            ctx.out << p.id << " : " << *result.value() << "\n";
            allValid = false;
        } else {
            ctx.out << p.id << " : clé valide\n";
        }
        ctx.out.flush();
    }
    if (id.isEmpty() && checked == 0) {
        ctx.err << "Aucune clé enregistrée : ovra keys set FOURNISSEUR\n";
        co_return 1;
    }
    co_return allValid ? 0 : 1;
}

// Passwords: one prompt each on a terminal; otherwise one per line of the standard input.
std::optional<QStringList> readPasswords(CliContext& ctx, const QStringList& prompts)
{
    QStringList out;
    if (!ctx.terminal.inputIsTerminal()) {
        const auto all = ctx.terminal.readSecret({});
        if (!all) {
            ctx.err << all.error() << "\n";
            return std::nullopt;
        }
        out = all->split(QLatin1Char('\n'));
        for (QString& line : out)
            if (line.endsWith(QLatin1Char('\r')))
                line.chop(1);
    } else {
        for (const QString& prompt : prompts) {
            const auto read = ctx.terminal.readSecret(prompt);
            if (!read) {
                ctx.err << read.error() << "\n";
                return std::nullopt;
            }
            out << *read;
        }
    }
    if (out.size() < prompts.size() || out.first().isEmpty()) {
        ctx.err << "Aucun mot de passe lu : rien n'a changé.\n";
        return std::nullopt;
    }
    return out.mid(0, prompts.size());
}

// A new passphrase typed twice on a terminal must match (on stdin it is given once).
std::optional<QString> newPassword(CliContext& ctx, const QStringList& before)
{
    QStringList prompts = before;
    prompts << QStringLiteral("Nouvelle phrase de passe (au moins %1 caractères) : ")
                   .arg(SecretsBackupService::kMinimumPasswordLength);
    if (ctx.terminal.inputIsTerminal())
        prompts << QStringLiteral("La même, encore : ");
    const auto read = readPasswords(ctx, prompts);
    if (!read)
        return std::nullopt;
    if (ctx.terminal.inputIsTerminal() && read->at(read->size() - 1) != read->at(read->size() - 2)) {
        ctx.err << "Les deux saisies diffèrent : rien n'a changé.\n";
        return std::nullopt;
    }
    return read->join(QLatin1Char('\n'));
}

int backupResult(CliContext& ctx, const Expected<void, SecretsBackupError>& result, const char* done)
{
    if (!result) {
        ctx.err << result.error().message() << "\n";
        return 1;
    }
    ctx.out << QString::fromUtf8(done) << "\n";
    return 0;
}

int backupKeys(CliContext& ctx)
{
    const auto password = newPassword(ctx, {});
    if (!password)
        return 1;
    return backupResult(ctx, ctx.services.keyBackup().backup(password->section(QLatin1Char('\n'), 0, 0)),
                        "Sauvegarde des clés enregistrée ; « ovra sync » la copie dans le dossier synchronisé.");
}

int changeBackupPassword(CliContext& ctx)
{
    const auto passwords = newPassword(ctx, {QStringLiteral("Phrase de passe actuelle : ")});
    if (!passwords)
        return 1;
    const QStringList both = passwords->split(QLatin1Char('\n'));
    return backupResult(ctx, ctx.services.keyBackup().changePassword(both.at(0), both.at(1)),
                        "Phrase de passe de la sauvegarde changée.");
}

int restoreKeys(CliContext& ctx)
{
    const auto password = readPasswords(ctx, {QStringLiteral("Phrase de passe de la sauvegarde : ")});
    if (!password)
        return 1;
    const std::optional<CloudFolder> folder = CloudFolder::locate(ctx.services.settings());
    return backupResult(ctx, ctx.services.keyBackup().restore(password->first(), folder ? &*folder : nullptr),
                        "Clés restaurées dans le trousseau.");
}

QCoro::Task<int> keysCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {}, {});
    if (!parsed)
        co_return usageError(ctx, parsed.error());
    const QString verb = parsed->at(0);
    const qsizetype n = parsed->positional().size();
    const QString provider = parsed->at(1);
    if (verb == QLatin1String("set") && n == 2) {
        auto setting = setKey(ctx, provider);
        co_return co_await setting;
    }
    if (verb == QLatin1String("list") && n == 1) {
        auto listing = listKeys(ctx);
        co_return co_await listing;
    }
    if (n == 1 && verb == QLatin1String("backup"))
        co_return backupKeys(ctx);
    if (n == 1 && verb == QLatin1String("restore"))
        co_return restoreKeys(ctx);
    if (n == 1 && verb == QLatin1String("passwd"))
        co_return changeBackupPassword(ctx);
    if (n == 1 && verb == QLatin1String("unbackup"))
        co_return backupResult(ctx, ctx.services.keyBackup().deleteBackup(), "Sauvegarde des clés supprimée.");
    if (verb == QLatin1String("verify") && n <= 2) {
        auto verifying = verifyKeys(ctx, provider);
        co_return co_await verifying;
    }
    co_return usageError(ctx, {});
}

} // namespace

QList<CliCommand> keyCommands()
{
    return {{QStringLiteral("keys"), QStringLiteral("Les clés d'API des fournisseurs, gardées dans le trousseau du système."),
             &keysCommand,
             {},
             {{QStringLiteral("set"), QStringLiteral("FOURNISSEUR"),
               QStringLiteral("Enregistre une clé : tapée sans écho sur un terminal, sinon lue sur l'entrée\n"
                              "      standard.")},
              {QStringLiteral("list"), {}, QStringLiteral("Affiche les fournisseurs dont une clé est enregistrée."),
               Services::StoreUse::none},
              {QStringLiteral("verify"), QStringLiteral("[FOURNISSEUR]"),
               QStringLiteral("Vérifie les clés enregistrées auprès des fournisseurs.")},
              {QStringLiteral("backup"), {},
               QStringLiteral("Chiffre les clés enregistrées sous une phrase de passe (au moins 12 caractères)\n"
                              "      dans une sauvegarde que la synchronisation copie sur les autres postes.")},
              {QStringLiteral("restore"), {},
               QStringLiteral("Remet dans le trousseau les clés de la sauvegarde (ou de sa copie dans le\n"
                              "      dossier synchronisé).")},
              {QStringLiteral("passwd"), {},
               QStringLiteral("Change la phrase de passe de la sauvegarde (l'actuelle, puis la nouvelle).")},
              {QStringLiteral("unbackup"), {}, QStringLiteral("Supprime la sauvegarde des clés.")}},
             QStringLiteral("FOURNISSEUR : %1\n"
                            "Phrases de passe : tapées sans écho sur un terminal, sinon une par ligne de l'entrée\n"
                            "standard. La clé de chiffrement en est tirée sans étirement : choisis une phrase longue.")
                 .arg(CliVocabulary::listed(CliVocabulary::keyProviders()))}};
}
