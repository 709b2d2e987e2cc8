#pragma once
// The real chat client and on-device model service against two local servers, one answering
// like the cloud providers and one like Ollama, over a real store, settings and journal.
#include "ai/AppleIntelligenceService.h"
#include "ai/ClaudeAPIManager.h"
#include "ai/SecretsVault.h"
#include "ai/UsageTracker.h"
#include "fakes/AwaitTask.h"
#include "fakes/LocalHttpServer.h"
#include "network/APINetworkClient.h"
#include "platform/linux/secret/MemorySecretStore.h"
#include "store/DebugLog.h"
#include "store/Notifications.h"
#include "store/RecordStore.h"
#include "store/Settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

struct AIFeatureRig
{
    QTemporaryDir dir;
    LocalHttpServer cloud;
    LocalHttpServer local;
    MemorySecretStore secrets;
    KeychainManager keychain{secrets};
    Settings settings{dir.filePath("config")};
    Notifications notifications;
    SecretsVault vault{keychain, settings, notifications};
    std::unique_ptr<RecordStore> store = std::move(RecordStore::open(dir.filePath("s.sqlite"), {}).value());
    DebugLog log{dir.filePath("data")};
    UsageTracker usage;
    APINetworkClient network;
    AppleIntelligenceService onDevice{network, AppleIntelligenceService::configFrom(settings)};
    ClaudeAPIManager claude{network, vault, usage, onDevice, ClaudeAPIManager::Endpoints::onHost(cloud.url())};

    AIFeatureRig()
    {
        usage.setModelContext(store.get());
        (void)vault.save(QStringLiteral("key-anthropic"), KeychainKey::anthropicAPIKey);
        (void)vault.save(QStringLiteral("key-openai"), KeychainKey::openAIAPIKey);
        settings.setValue(QStringLiteral("ovra.mac.localModelURL"), local.url());
        settings.setValue(QStringLiteral("ovra.mac.localModel"), QStringLiteral("llama3.2"));
    }

    // An Anthropic Messages answer carrying text.
    static LocalHttpServer::Reply anthropic(const QString& text)
    {
        const QJsonObject body{{"content", QJsonArray{QJsonObject{{"type", "text"}, {"text", text}}}},
                               {"usage", QJsonObject{{"input_tokens", 10}, {"output_tokens", 5}}}};
        return LocalHttpServer::Reply::json(200, QJsonDocument(body).toJson(QJsonDocument::Compact));
    }
    // Ollama: the model list, then a chat completion carrying content.
    void localAnswers(const QString& content)
    {
        local.enqueue(LocalHttpServer::Reply::json(
            200, R"({"object":"list","data":[{"id":"llama3.2:latest","object":"model","owned_by":"library"}]})"));
        const QJsonObject choice{{"index", 0},
                                 {"message", QJsonObject{{"role", "assistant"}, {"content", content}}},
                                 {"finish_reason", "stop"}};
        local.enqueue(LocalHttpServer::Reply::json(
            200, QJsonDocument(QJsonObject{{"choices", QJsonArray{choice}}}).toJson(QJsonDocument::Compact)));
    }
    QJsonObject lastCloudBody() const { return QJsonDocument::fromJson(cloud.requests.last().body).object(); }
    QJsonObject lastLocalBody() const { return QJsonDocument::fromJson(local.requests.last().body).object(); }
};
