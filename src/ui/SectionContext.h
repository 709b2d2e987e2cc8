#pragma once
// The services a window section may use, handed over by the composition root. Sections take
// what they need from here in their constructor; nothing here is owned by the window.
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
};
