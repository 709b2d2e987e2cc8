#include "CliArgs.h"
#include "CliCommand.h"
#include "CliVocabulary.h"
#include "Services.h"
#include "Terminal.h"

#include "ai/CloudProviderCatalog.h"


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
               QStringLiteral("Vérifie les clés enregistrées auprès des fournisseurs.")}},
             QStringLiteral("FOURNISSEUR : %1").arg(CliVocabulary::listed(CliVocabulary::keyProviders()))}};
}
