#include "LibsecretStore.h"

#undef signals
#include <libsecret/secret.h>

namespace {

const SecretSchema* schema()
{
    // Items are matched by their attributes alone, whatever tool created them.
    static const SecretSchema s = {"app.ovra.Password",
                                   SECRET_SCHEMA_DONT_MATCH_NAME,
                                   {
                                       {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                       {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                   },
                                   0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    return &s;
}

SecretStoreError takeError(GError* error)
{
    SecretStoreError e{LibsecretStore::kNotAvailable,
                       QStringLiteral("Secret Service : ") + QString::fromUtf8(error ? error->message : "erreur inconnue")};
    if (error)
        g_error_free(error);
    return e;
}

} // namespace

Expected<void, SecretStoreError> LibsecretStore::save(const QString& service, const QString& account,
                                                      const QByteArray& value)
{
    const QByteArray s = service.toUtf8();
    const QByteArray a = account.toUtf8();
    const QByteArray label = "Ovra: " + a;
    SecretValue* secret = secret_value_new(value.constData(), value.size(), "application/octet-stream");
    GError* error = nullptr;
    // Storing with the same attributes replaces the existing item.
    const gboolean ok = secret_password_store_binary_sync(schema(), SECRET_COLLECTION_DEFAULT, label.constData(), secret,
                                                          nullptr, &error, "service", s.constData(), "account",
                                                          a.constData(), nullptr);
    secret_value_unref(secret);
    if (!ok || error)
        return unexpected(takeError(error));
    return {};
}

Expected<std::optional<QByteArray>, SecretStoreError> LibsecretStore::read(const QString& service,
                                                                           const QString& account)
{
    const QByteArray s = service.toUtf8();
    const QByteArray a = account.toUtf8();
    GError* error = nullptr;
    SecretValue* secret = secret_password_lookup_binary_sync(schema(), nullptr, &error, "service", s.constData(),
                                                             "account", a.constData(), nullptr);
    if (error) {
        if (secret)
            secret_value_unref(secret);
        return unexpected(takeError(error));
    }
    if (!secret)
        return std::optional<QByteArray>();
    gsize length = 0;
    const gchar* bytes = secret_value_get(secret, &length);
    QByteArray value(bytes, static_cast<qsizetype>(length));
    secret_value_unref(secret);
    return std::optional<QByteArray>(std::move(value));
}

Expected<bool, SecretStoreError> LibsecretStore::remove(const QString& service, const QString& account)
{
    const QByteArray s = service.toUtf8();
    const QByteArray a = account.toUtf8();
    GError* error = nullptr;
    const gboolean removed =
        secret_password_clear_sync(schema(), nullptr, &error, "service", s.constData(), "account", a.constData(), nullptr);
    if (error)
        return unexpected(takeError(error));
    return bool(removed);
}
