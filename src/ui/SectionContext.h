#pragma once
// The services a window section may use, handed over by the composition root. Sections take
// what they need from here in their constructor; nothing here is owned by the window.
#include "store/Expected.h"

#include <QString>
#include <functional>

class APIKeyVerifier;
class DebugLog;
class KeychainManager;
class MacDictationController;
class MacNavigation;
class Notifications;
class RecordStore;
class SecretsVault;
class Settings;
class ShortcutBindings;
class TranscriptionManager;
class UsageTracker;
class Pasteboard;
class ChatClient;
class AudioCapture;
class MacAppModeTriggers;
class MacHelperReceiver;
class ICloudSync;
class SecretsBackupService;
class CloudSettingsSync;
class LearningAnalyzer;
class LeaderboardManager;
class AppleIntelligenceService;
class LocalModels;

struct SectionContext
{
    RecordStore& store;
    Settings& settings;
    DebugLog& log;
    Notifications& notifications;
    MacDictationController& controller;
    MacNavigation& navigation;
    SecretsVault& vault;
    KeychainManager& keychain;
    APIKeyVerifier& keyVerifier;
    UsageTracker& usage;
    TranscriptionManager& transcription;
    ShortcutBindings& shortcuts;
    Pasteboard& pasteboard;

    // Optional: a section without one of these shows what it can and says what is missing.
    ChatClient* chat = nullptr;                // history re-processing
    AudioCapture* audioCapture = nullptr;      // the microphone list of the settings
    MacAppModeTriggers* appModes = nullptr;    // per-application and per-address rules, auto-send
    MacHelperReceiver* helper = nullptr;       // texts from the paired phones
    ICloudSync* cloudSync = nullptr;           // the sync part of the settings (with keyBackup)
    SecretsBackupService* keyBackup = nullptr;
    CloudSettingsSync* settingsSync = nullptr;
    LearningAnalyzer* learning = nullptr;       // the learning section's analysis
    LeaderboardManager* leaderboard = nullptr;  // the statistics section's world leaderboard
    AppleIntelligenceService* localModel = nullptr; // the settings' local model
    LocalModels* localModels = nullptr;         // the models section's speech models
    // Which component of the desktop session serves shortcuts, keys, clipboard and the active
    // application; empty where unknown.
    QString sessionDescription;
    // Opens the desktop's own settings for our shortcuts where the desktop portal owns the keys;
    // empty elsewhere (the button is hidden).
    std::function<void()> configureDesktopShortcuts;
    // Launch at login (the XDG autostart entry); both set, or the option is shown disabled.
    std::function<bool()> launchAtLoginEnabled;
    std::function<Expected<void, QString>(bool)> setLaunchAtLogin;
};
