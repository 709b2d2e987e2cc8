#include "store/RecordSamples.h"
#include "store/StoreFixture.h"
#include "sync/BackupImporter.h"
#include "sync/TransformStatDedup.h"
#include "sync/WidgetLayoutSettings.h"
#include "store/AppSettingsKeys.h"
#include "store/DebugLog.h"
#include "store/Settings.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace {

const QDateTime kNow = QDateTime::fromString(QStringLiteral("2026-03-15T12:00:00.000Z"), Qt::ISODateWithMs);

QJsonObject emptyDocument()
{
    QJsonObject o{{"schema", 1}, {"app", "Ovra"}, {"exportedAt", "2026-03-15T12:00:00.000Z"}};
    for (const char* k : {"prompts", "modes", "notes", "dictionary", "transcriptions", "learning", "usage"})
        o.insert(QLatin1String(k), QJsonArray());
    return o;
}

QByteArray bytes(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

// A store, its settings and journal in one temporary folder.
struct Env
{
    StoreFixture fx;
    std::unique_ptr<RecordStore> store = fx.open();
    Settings settings{fx.dir.filePath(QStringLiteral("config"))};
    DebugLog log{fx.dir.filePath(QStringLiteral("data"))};
    BackupImporter importer{*store, settings, log};

    QByteArray exportNow()
    {
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        const auto ok = writeBackup(*store, settings, buffer, kNow);
        if (!ok)
            qWarning() << ok.error().message;
        return out;
    }

    QString importBytes(const QByteArray& doc)
    {
        const auto payload = decode(doc);
        if (!payload)
            return QStringLiteral("decode: ") + payload.error().message;
        const auto summary = importer.importPayload(*payload);
        return summary ? summaryText(*summary) : QStringLiteral("import: ") + summary.error().message;
    }
};

template <Record R>
void insertSamples(RecordStore& store)
{
    R full = distinctiveRecord<R>();
    R defaults;
    QVERIFY(store.insert(full));
    QVERIFY(store.insert(defaults));
}

QStringList keysInOrder(const QByteArray& json)
{
    // Top-level keys of a one-line object, in the order written.
    QStringList keys;
    static const QRegularExpression key(QStringLiteral("\"([A-Za-z]+)\":"));
    int depth = 0;
    bool inString = false;
    for (qsizetype i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') {
            if (depth == 1) {
                const auto m = key.match(QString::fromUtf8(json.mid(i, 40)));
                if (m.hasMatch() && m.capturedStart() == 0) {
                    keys << m.captured(1);
                    i += m.capturedLength() - 1;
                    continue;
                }
            }
            inString = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return keys;
}

QByteArray withoutExportedAt(QByteArray doc)
{
    static const QRegularExpression line(QStringLiteral("\"exportedAt\":\"[^\"]*\""));
    return QString::fromUtf8(doc).replace(line, QString()).toUtf8();
}

} // namespace

Q_DECLARE_METATYPE(ImportSummary)

class TestBackupPayload : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void exportImportExportIsStable()
    {
        Env a;
        forEachRecordType([&]<class R>() { insertSamples<R>(*a.store); });
        // Two TransformationStat copies would be removed by the purge, not by the import.
        WidgetLayouts::store(a.settings, {{QStringLiteral("medium"), {QStringLiteral("words")}}}, kNow.addDays(-1));
        const QByteArray first = a.exportNow();
        QVERIFY(!first.isEmpty());

        Env b;
        QCOMPARE(b.importBytes(first),
                 QStringLiteral("Importé : 2 prompts, 2 modes, 2 notes, 2 entrées de dictionnaire, 2 transcriptions, "
                                "2 suggestions, 2 enregistrements d'usage."));
        const QByteArray second = b.exportNow();
        QCOMPARE(QString::fromUtf8(second), QString::fromUtf8(first));

        // A later export differs only by its date; importing it again creates nothing.
        QByteArray later;
        QBuffer buffer(&later);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(writeBackup(*b.store, b.settings, buffer, kNow.addSecs(5)));
        QVERIFY(later != first);
        QCOMPARE(withoutExportedAt(later), withoutExportedAt(first));
        QCOMPARE(b.importBytes(later), QStringLiteral("Rien à importer — tout était déjà présent (aucun doublon créé)."));
        QCOMPARE(b.store->count<Transcription>(), 2);
        QCOMPARE(b.store->count<DeletionTombstone>(), 2);

        // The in-memory form writes the same document as the stream.
        QCOMPARE(QString::fromUtf8(encode(makePayload(*a.store, a.settings, kNow))), QString::fromUtf8(first));
    }

    void documentKeysAndValueForms()
    {
        Env e;
        Transcription t = distinctiveRecord<Transcription>();
        t.offlinePendingAt = kNow;
        t.audioFileName = QStringLiteral("local.m4a");
        t.wasSentToComputers = true;
        QVERIFY(e.store->insert(t));
        QVERIFY(e.store->insert(TranscriptionMode{}));
        QVERIFY(e.store->insert(PromptPreset{}));
        QVERIFY(e.store->insert(DictionaryEntry{}));
        Note note;
        note.assistantTranscriptJSON = QStringLiteral("[]");
        QVERIFY(e.store->insert(note));
        QVERIFY(e.store->insert(TransformationStat{}));
        DeletionTombstone tomb;
        tomb.typeRaw = QStringLiteral("mode");
        QVERIFY(e.store->insert(tomb));
        const QByteArray doc = e.exportNow();

        QCOMPARE(keysInOrder(doc),
                 QStringList({"schema", "app", "exportedAt", "prompts", "modes", "notes", "dictionary",
                              "transcriptions", "learning", "usage", "stats", "tombstones", "transformStats"}));
        const QList<QByteArray> lines = doc.split('\n');
        auto lineAfter = [&](const char* key) {
            const qsizetype at = lines.indexOf(QByteArray("\"") + key + "\":[");
            return at >= 0 && at + 1 < lines.size() ? lines[at + 1] : QByteArray();
        };
        auto keys = [&](const char* key) {
            QByteArray l = lineAfter(key);
            if (l.endsWith(','))
                l.chop(1);
            return keysInOrder(l);
        };
        QCOMPARE(keys("prompts"), QStringList({"id", "name", "prompt", "createdAt", "sortOrder", "isPinned",
                                               "updatedAt", "lastEditedDeviceID", "lastEditedDeviceName",
                                               "isTrashed"}));
        QCOMPARE(keys("modes"),
                 QStringList({"id", "name", "icon", "iconForegroundColorRaw", "iconBackgroundColorRaw",
                              "transcriptionProviderRaw", "transcriptionModel", "enableAIEnhancement", "aiProviderRaw",
                              "aiModel", "promptTemplate", "language", "trimSilence", "liveTranscription",
                              "sortOrder", "createdAt", "updatedAt", "lastEditedDeviceID", "lastEditedDeviceName"}));
        QCOMPARE(keys("notes"), QStringList({"id", "title", "content", "isFavorite", "createdAt", "updatedAt",
                                             "assistantTranscriptJSON", "lastEditedDeviceID", "lastEditedDeviceName"}));
        QCOMPARE(keys("dictionary"),
                 QStringList({"id", "term", "pronunciationsRaw", "scopesRaw", "isPinned", "usageCount", "createdAt",
                              "origin", "updatedAt", "lastEditedDeviceID", "lastEditedDeviceName"}));
        QCOMPARE(keys("transcriptions"),
                 QStringList({"id", "text", "createdAt", "duration", "modeName", "transcriptionProvider",
                              "transcriptionModel", "enhancedByAI", "isCloudStarred", "rawWhisperText",
                              "afterReplacementsText", "aiOutputText", "userEditedText", "analyzedAt", "aiFixCount",
                              "categoryRaw", "purgedAt", "storedWordCount", "storedCharCount", "wasMadeOffline",
                              "transcriptionSeconds", "aiSeconds", "transcriptionCostUSD", "aiCostUSD"}));
        QCOMPARE(keys("tombstones"), QStringList({"recordID", "typeRaw", "deletedAt"}));
        QCOMPARE(keys("transformStats"), QStringList({"id", "fixCount", "wordCount", "source", "createdAt"}));
        QByteArray stats;
        for (const QByteArray& l : lines)
            if (l.startsWith("\"stats\":"))
                stats = l.mid(8).chopped(1);
        QCOMPARE(keysInOrder(stats),
                 QStringList({"totalCount", "totalWords", "totalKeystrokesSaved", "timeSavedSeconds", "thisMonthWords",
                              "averageWordsPerMinute", "totalAIFixes", "thisMonthCostUSD", "allTimeCostUSD"}));

        const QString text = QString::fromUtf8(doc);
        QVERIFY(text.contains(QStringLiteral("\"id\":\"%1\"").arg(uuidText(t.id))));
        QVERIFY(!text.contains(t.id.toString(QUuid::WithoutBraces))); // never lower-case
        QVERIFY(text.contains(QStringLiteral("\"exportedAt\":\"2026-03-15T12:00:00.000Z\"")));
        static const QRegularExpression anyDate(QStringLiteral("\"\\d{4}-\\d\\d-\\d\\dT[^\"]*\""));
        static const QRegularExpression goodDate(QStringLiteral("\"\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z\""));
        QCOMPARE(text.count(anyDate), text.count(goodDate));
        QVERIFY(!text.contains(QStringLiteral("local.m4a")));
        for (const char* local : {"offlinePendingAt", "audioFileName", "wasSentToComputers"})
            QVERIFY2(!text.contains(QLatin1String(local)), local);
        // The document reads back as standard JSON.
        QJsonParseError err;
        QVERIFY(QJsonDocument::fromJson(doc, &err).isObject());
    }

    void badDocumentsChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("doc");
        QTest::addColumn<QString>("error");
        auto with = [](const char* section, const QJsonObject& record) {
            QJsonObject o = emptyDocument();
            o.insert(QLatin1String(section), QJsonArray{record});
            return bytes(o);
        };
        const QJsonObject note{{"id", "C0FFEE00-0000-4000-8000-000000000001"},
                               {"title", "t"},
                               {"content", "c"},
                               {"isFavorite", false},
                               {"createdAt", "2026-01-05T07:00:00Z"},
                               {"updatedAt", "2026-01-05T07:00:00Z"}};
        auto noteWith = [&](const char* key, const QJsonValue& v) {
            QJsonObject n = note;
            if (v.isUndefined())
                n.remove(QLatin1String(key));
            else
                n.insert(QLatin1String(key), v);
            return with("notes", n);
        };
        QJsonObject noPrompts = emptyDocument();
        noPrompts.remove(QStringLiteral("prompts"));
        QJsonObject twice = emptyDocument();
        twice.insert(QStringLiteral("notes"), QJsonArray{note, note});
        QJsonObject schema2 = emptyDocument();
        schema2.insert(QStringLiteral("schema"), 2);

        QTest::newRow("not JSON") << QByteArray("{\"schema\": 1, \"app\": ") << "n'est pas un document JSON valide";
        QTest::newRow("not an object") << QByteArray("[1,2]") << "un objet JSON est attendu";
        QTest::newRow("empty file") << QByteArray() << "n'est pas un document JSON valide";
        QTest::newRow("missing section") << bytes(noPrompts) << "Clé « prompts » manquante.";
        QTest::newRow("missing key") << noteWith("content", QJsonValue::Undefined)
                                     << "Clé « content » manquante dans notes[0].";
        QTest::newRow("date with a space") << noteWith("createdAt", "2026-01-05 07:00:00Z")
                                           << "Date ISO 8601 invalide : 2026-01-05 07:00:00Z";
        QTest::newRow("date without zone") << noteWith("updatedAt", "2026-01-05T07:00:00")
                                           << "Date ISO 8601 invalide : 2026-01-05T07:00:00";
        QTest::newRow("wrong type") << noteWith("isFavorite", "yes")
                                    << "La clé « isFavorite » dans notes[0] doit contenir un booléen.";
        QTest::newRow("null for a required key") << noteWith("title", QJsonValue::Null)
                                                 << "La clé « title » dans notes[0] doit contenir un texte.";
        QTest::newRow("bad uuid") << noteWith("id", "not-a-uuid") << "UUID invalide pour la clé « id » dans notes[0]";
        QTest::newRow("fractional integer") << with("usage", QJsonObject{{"id", "A5A5A5A5-0000-4000-8000-000000000001"},
                                                                          {"date", "2026-02-10T16:45:31Z"},
                                                                          {"providerRaw", "openai"},
                                                                          {"model", "m"},
                                                                          {"kindRaw", "k"},
                                                                          {"inputTokens", 1.5},
                                                                          {"outputTokens", 0},
                                                                          {"audioSeconds", 0},
                                                                          {"costUSD", 0}})
                                            << "La clé « inputTokens » dans usage[0] doit contenir un nombre entier.";
        QTest::newRow("huge string") << noteWith("content", QString(10'000'001, QLatin1Char('x')))
                                     << "Texte trop long pour la clé « content » dans notes[0]";
        QTest::newRow("duplicated id") << bytes(twice)
                                       << "Identifiant en double dans « notes » : C0FFEE00-0000-4000-8000-000000000001.";
        QTest::newRow("newer format") << bytes(schema2) << "Version de format non prise en charge : 2.";
        QTest::newRow("section not an array") << [] {
            QJsonObject o = emptyDocument();
            o.insert(QStringLiteral("usage"), QJsonObject());
            return bytes(o);
        }() << "La clé « usage » doit contenir un tableau.";
        QTest::newRow("bad stats") << [] {
            QJsonObject o = emptyDocument();
            o.insert(QStringLiteral("stats"), QJsonObject{{"totalCount", "many"}});
            return bytes(o);
        }() << "Statistiques illisibles";
        QTest::newRow("bad layouts") << [] {
            QJsonObject o = emptyDocument();
            o.insert(QStringLiteral("widgetLayouts"), QJsonObject{{"small", QJsonArray{1}}});
            return bytes(o);
        }() << "widgetLayouts";
    }

    void badDocumentsChangeNothing()
    {
        QFETCH(QByteArray, doc);
        QFETCH(QString, error);
        Env e;
        Note mine;
        mine.id = QUuid(QStringLiteral("C0FFEE00-0000-4000-8000-000000000001"));
        mine.title = QStringLiteral("à moi");
        QVERIFY(e.store->insert(mine));
        const QByteArray before = e.exportNow();
        const QString result = e.importBytes(doc);
        QVERIFY2(result.startsWith(QStringLiteral("decode: ")) && result.contains(error), qPrintable(result));
        QCOMPARE(e.exportNow(), before);
    }

    void merge_data()
    {
        QTest::addColumn<QJsonObject>("local");
        QTest::addColumn<QJsonObject>("incoming");
        QTest::addColumn<QString>("summary");
        // "section/ID.key=value" (value as the exported JSON text) or "section/ID absent".
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("logLine");

        const QString A = QStringLiteral("AAAAAAAA-0000-4000-8000-000000000001");
        const QString B = QStringLiteral("BBBBBBBB-0000-4000-8000-000000000002");
        auto mode = [](const QString& id, const QString& name, const char* updatedAt) {
            QJsonObject m{{"id", id},
                          {"name", name},
                          {"icon", "waveform"},
                          {"transcriptionProviderRaw", "groq"},
                          {"transcriptionModel", "whisper-large-v3-turbo"},
                          {"enableAIEnhancement", false},
                          {"aiProviderRaw", "claude"},
                          {"aiModel", "m"},
                          {"promptTemplate", ""},
                          {"language", "auto"},
                          {"trimSilence", false},
                          {"liveTranscription", false},
                          {"sortOrder", 0},
                          {"createdAt", "2026-01-01T00:00:00.000Z"}};
            if (updatedAt)
                m.insert(QStringLiteral("updatedAt"), QLatin1String(updatedAt));
            return m;
        };
        auto note = [](const QString& id, const QString& title, const char* updatedAt, const char* assistant = nullptr) {
            QJsonObject n{{"id", id},         {"title", title},
                          {"content", "c"},   {"isFavorite", false},
                          {"createdAt", "2026-01-01T00:00:00.000Z"}, {"updatedAt", QLatin1String(updatedAt)}};
            if (assistant)
                n.insert(QStringLiteral("assistantTranscriptJSON"), QLatin1String(assistant));
            return n;
        };
        auto prompt = [](const QString& id, const QString& name) {
            return QJsonObject{{"id", id},         {"name", name},       {"prompt", "p"},
                               {"createdAt", "2026-01-01T00:00:00.000Z"}, {"sortOrder", 0}, {"isPinned", false}};
        };
        auto transcription = [](const QString& id, const QString& text) {
            return QJsonObject{{"id", id},           {"text", text},
                               {"createdAt", "2026-01-01T00:00:00.000Z"}, {"duration", 1},
                               {"modeName", "Normal"}, {"transcriptionProvider", "groq"},
                               {"transcriptionModel", "m"}, {"enhancedByAI", false},
                               {"isCloudStarred", false}};
        };
        auto tomb = [](const QString& id, const char* type, const char* at) {
            return QJsonObject{{"recordID", id}, {"typeRaw", type}, {"deletedAt", QLatin1String(at)}};
        };
        auto doc = [](std::initializer_list<std::pair<const char*, QJsonArray>> sections) {
            QJsonObject o = emptyDocument();
            for (const auto& [k, v] : sections)
                o.insert(QLatin1String(k), v);
            return o;
        };

        QTest::newRow("new records are inserted and counted")
            << doc({}) << doc({{"prompts", {prompt(A, "P")}}, {"notes", {note(A, "1", "2026-01-02T00:00:00Z"),
                                                                          note(B, "2", "2026-01-02T00:00:00Z")}}})
            << "Importé : 1 prompt, 2 notes." << QStringList{"notes/" + A + ".title=\"1\""} << QString();
        QTest::newRow("later edit replaces, not counted")
            << doc({{"modes", {mode(A, "old", "2026-01-02T09:00:00.000Z")}}})
            << doc({{"modes", {mode(A, "new", "2026-01-02T09:00:00.001Z")}}})
            << "Rien à importer — tout était déjà présent (aucun doublon créé)."
            << QStringList{"modes/" + A + ".name=\"new\"", "modes/" + A + ".updatedAt=\"2026-01-02T09:00:00.001Z\""}
            << QString();
        QTest::newRow("same updatedAt changes nothing")
            << doc({{"modes", {mode(A, "old", "2026-01-02T09:00:00.000Z")}}})
            << doc({{"modes", {mode(A, "new", "2026-01-02T09:00:00Z")}}})
            << "Rien à importer — tout était déjà présent (aucun doublon créé)."
            << QStringList{"modes/" + A + ".name=\"old\""} << QString();
        QTest::newRow("earlier edit changes nothing")
            << doc({{"modes", {mode(A, "old", "2026-01-02T09:00:00Z")}}})
            << doc({{"modes", {mode(A, "new", "2026-01-01T09:00:00Z")}}})
            << "Rien à importer — tout était déjà présent (aucun doublon créé)."
            << QStringList{"modes/" + A + ".name=\"old\""} << QString();
        QTest::newRow("no updatedAt never replaces")
            << doc({{"modes", {mode(A, "old", "2026-01-02T09:00:00Z")}}}) << doc({{"modes", {mode(A, "new", nullptr)}}})
            << "Rien à importer — tout était déjà présent (aucun doublon créé)."
            << QStringList{"modes/" + A + ".name=\"old\""} << QString();
        QTest::newRow("replacement keeps a local field the document leaves out")
            << doc({{"notes", {note(A, "old", "2026-01-02T00:00:00Z", "[{\"role\":\"user\"}]")}}})
            << doc({{"notes", {note(A, "new", "2026-01-03T00:00:00Z")}}})
            << "Rien à importer — tout était déjà présent (aucun doublon créé)."
            << QStringList{"notes/" + A + ".title=\"new\"",
                           "notes/" + A + ".assistantTranscriptJSON=\"[{\\\"role\\\":\\\"user\\\"}]\""}
            << QString();
        QTest::newRow("known transcription is left as it is")
            << doc({{"transcriptions", {transcription(A, "mine")}}})
            << doc({{"transcriptions", {transcription(A, "theirs"), transcription(B, "new")}}})
            << "Importé : 1 transcription." << QStringList{"transcriptions/" + A + ".text=\"mine\""} << QString();
        QTest::newRow("mode edited after its deletion survives")
            << doc({{"modes", {mode(A, "Réunion", "2026-01-02T10:00:00Z")}}})
            << doc({{"tombstones", {tomb(A, "mode", "2026-01-02T09:00:00Z")}}})
            << "Rien à importer — tout était déjà présent (aucun doublon créé)."
            << QStringList{"modes/" + A + ".name=\"Réunion\"", "tombstones/" + A + ".typeRaw=\"mode\""}
            << "[SYNC] APP delete-vs-édition : « Réunion » conservée (édition postérieure à la suppression)";
        QTest::newRow("nameless prompt kept is labelled")
            << doc({{"prompts", {[&] {
                   QJsonObject p = prompt(A, "");
                   p.insert(QStringLiteral("updatedAt"), "2026-01-02T10:00:00Z");
                   return p;
               }()}}})
            << doc({{"tombstones", {tomb(A, "prompt", "2026-01-02T09:00:00Z")}}})
            << "Rien à importer — tout était déjà présent (aucun doublon créé)."
            << QStringList{"prompts/" + A + ".name=\"\""}
            << "[SYNC] APP delete-vs-édition : « (prompt) » conservée (édition postérieure à la suppression)";
        QTest::newRow("incoming tombstone deletes an older note")
            << doc({{"notes", {note(A, "gone", "2026-01-02T08:00:00Z")}}})
            << doc({{"tombstones", {tomb(A, "note", "2026-01-02T09:00:00Z")}}})
            << "Rien à importer — tout était déjà présent (aucun doublon créé)."
            << QStringList{"notes/" + A + " absent", "tombstones/" + A + ".deletedAt=\"2026-01-02T09:00:00.000Z\""}
            << QString();
        QTest::newRow("record deleted here is not brought back nor counted")
            << doc({{"tombstones", {tomb(A, "note", "2026-01-02T09:00:00Z")}}})
            << doc({{"notes", {note(A, "zombie", "2026-01-02T08:00:00Z")}}})
            << "Rien à importer — tout était déjà présent (aucun doublon créé)."
            << QStringList{"notes/" + A + " absent"} << QString();
        QTest::newRow("record edited elsewhere after its deletion here comes back")
            << doc({{"tombstones", {tomb(A, "dictionary", "2026-01-02T09:00:00Z")}}})
            << doc({{"dictionary", {QJsonObject{{"id", A},
                                                {"term", "Ovra"},
                                                {"pronunciationsRaw", ""},
                                                {"scopesRaw", 3},
                                                {"isPinned", false},
                                                {"usageCount", 0},
                                                {"createdAt", "2026-01-01T00:00:00Z"},
                                                {"updatedAt", "2026-01-02T10:00:00Z"}}}}})
            << "Importé : 1 entrée de dictionnaire." << QStringList{"dictionary/" + A + ".term=\"Ovra\""}
            << "[SYNC] APP delete-vs-édition : « Ovra » conservée (édition postérieure à la suppression)";
        QTest::newRow("known tombstone is not stored twice")
            << doc({{"tombstones", {tomb(A, "note", "2026-01-02T09:00:00Z")}}})
            << doc({{"tombstones", {tomb(A, "note", "2026-01-03T09:00:00Z"), tomb(B, "mode", "2026-01-03T09:00:00Z")}}})
            << "Rien à importer — tout était déjà présent (aucun doublon créé)."
            << QStringList{"tombstones/" + A + ".deletedAt=\"2026-01-02T09:00:00.000Z\"",
                           "tombstones/" + B + ".typeRaw=\"mode\""}
            << QString();
    }

    void merge()
    {
        QFETCH(QJsonObject, local);
        QFETCH(QJsonObject, incoming);
        QFETCH(QString, summary);
        QFETCH(QStringList, expected);
        QFETCH(QString, logLine);
        Env e;
        QVERIFY(!e.importBytes(bytes(local)).startsWith(QLatin1String("decode")));
        QCOMPARE(e.importBytes(bytes(incoming)), summary);

        const QJsonObject result = QJsonDocument::fromJson(e.exportNow()).object();
        for (const QString& line : expected) {
            static const QRegularExpression form(QStringLiteral(R"(^(\w+)/([-A-F0-9]+)(?:\.(\w+)=(.*)| absent)$)"));
            const auto m = form.match(line);
            QVERIFY2(m.hasMatch(), qPrintable(line));
            const QString idKey = m.captured(1) == QLatin1String("tombstones") ? QStringLiteral("recordID")
                                                                              : QStringLiteral("id");
            QList<QJsonObject> found;
            for (const QJsonValue& v : result.value(m.captured(1)).toArray())
                if (v.toObject().value(idKey).toString() == m.captured(2))
                    found << v.toObject();
            if (m.captured(3).isEmpty()) {
                QVERIFY2(found.isEmpty(), qPrintable(line));
                continue;
            }
            QCOMPARE(found.size(), 1);
            const QByteArray value =
                QJsonDocument(QJsonArray{found.first().value(m.captured(3))}).toJson(QJsonDocument::Compact);
            QCOMPARE(QString::fromUtf8(value.mid(1).chopped(1)), m.captured(4));
        }
        const QString journal = e.log.contents();
        if (logLine.isEmpty())
            QVERIFY2(!journal.contains(QLatin1String("delete-vs-édition")), qPrintable(journal));
        else
            QVERIFY2(journal.contains(logLine), qPrintable(journal));
    }

    void summaryText_data()
    {
        QTest::addColumn<ImportSummary>("summary");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing") << ImportSummary{} << "Rien à importer — tout était déjà présent (aucun doublon créé).";
        QTest::newRow("prompt and notes") << ImportSummary{1, 0, 3, 0, 0, 0, 0} << "Importé : 1 prompt, 3 notes.";
        QTest::newRow("every kind, singular")
            << ImportSummary{1, 1, 1, 1, 1, 1, 1}
            << "Importé : 1 prompt, 1 mode, 1 note, 1 entrée de dictionnaire, 1 transcription, 1 suggestion, "
               "1 enregistrement d'usage.";
        QTest::newRow("every kind, plural")
            << ImportSummary{2, 3, 4, 5, 6, 7, 1000}
            << "Importé : 2 prompts, 3 modes, 4 notes, 5 entrées de dictionnaire, 6 transcriptions, 7 suggestions, "
               "1000 enregistrements d'usage.";
    }

    void summaryText()
    {
        QFETCH(ImportSummary, summary);
        QFETCH(QString, text);
        QCOMPARE(::summaryText(summary), text);
    }

    void handWrittenDocumentImports()
    {
        Env e;
        const auto summary = e.importer.importFile(QStringLiteral(SYNC_TEST_DATA "/handwritten.json"));
        QVERIFY2(summary, summary ? "" : qPrintable(summary.error().message));
        QCOMPARE(::summaryText(*summary),
                 QStringLiteral("Importé : 1 prompt, 1 mode, 1 note, 1 entrée de dictionnaire, 1 transcription, "
                                "1 enregistrement d'usage."));

        const auto prompt = e.store->find<PromptPreset>(QUuid(QStringLiteral("0B6B1F0E-3C1A-4D8E-9A51-5F0D4C7E2A10")));
        QVERIFY(prompt);
        QCOMPARE(prompt->prompt, QStringLiteral("Rends ce texte poli.\nGarde le tutoiement."));
        QVERIFY(prompt->isPinned);
        QVERIFY(!prompt->isTrashed);
        QCOMPARE(prompt->updatedAt, prompt->createdAt); // no edit date: its creation stands for it

        const auto mode = e.store->find<TranscriptionMode>(QUuid(QStringLiteral("5A3E9C77-1111-4222-8333-944455556666")));
        QVERIFY(mode);
        QCOMPARE(mode->iconForegroundColorRaw, QStringLiteral("default"));
        QCOMPARE(mode->nemotronChunkMs, std::optional<int>(560));
        QCOMPARE(mode->promptPresetID, std::optional<QUuid>(prompt->id));
        QCOMPARE(DateTime::toIsoMillis(mode->createdAt), QStringLiteral("2026-01-03T10:00:00.500Z"));
        QCOMPARE(mode->lastEditedDeviceName, QStringLiteral("iPhone de Claire"));

        const auto notes = e.store->fetch<Note>();
        QCOMPARE(notes.size(), 1);
        QCOMPARE(notes.first().displayTitle(), QStringLiteral("Liste de courses"));
        QVERIFY(notes.first().content.endsWith(QStringLiteral("échalotes")));

        const auto entry = e.store->fetch<DictionaryEntry>().value(0);
        QCOMPARE(entry.pronunciations(), QStringList({"cube air nétisse", "kubernetess"}));
        QCOMPARE(entry.origin, QStringLiteral("user"));
        QCOMPARE(entry.scopesRaw, 7);

        const auto t = e.store->fetch<Transcription>().value(0);
        QCOMPARE(t.categoryRaw, std::optional<QString>(QStringLiteral("some_future_category")));
        QCOMPARE(t.transcriptionCostUSD, std::optional<double>(0.0015));
        QVERIFY(!t.wasMadeOffline);
        QCOMPARE(e.store->fetch<DeletionTombstone>().value(0).typeRaw, QStringLiteral("note"));

        const WidgetLayouts layouts = WidgetLayouts::read(e.settings);
        QCOMPARE(layouts.layouts.value(QStringLiteral("small")), QStringList({"words", "streak"}));
        QVERIFY(e.log.contents().contains(
            QStringLiteral("APP sync: dispositions de widgets appliquées (distant 2026-02-01T00:00:00.000Z")));
    }

    void widgetLayoutsOnlyWhenNewer()
    {
        Env e;
        const QDateTime localAt = QDateTime::fromString(QStringLiteral("2026-02-01T00:00:00Z"), Qt::ISODate);
        WidgetLayouts::store(e.settings, {{QStringLiteral("small"), {QStringLiteral("mine")}}}, localAt);
        for (const auto& [at, expected] : {std::pair{"2026-01-31T23:59:59.999Z", "mine"},
                                           std::pair{"2026-02-01T00:00:00.000Z", "mine"},
                                           std::pair{"2026-02-01T00:00:00.001Z", "theirs"}}) {
            QJsonObject doc = emptyDocument();
            doc.insert(QStringLiteral("widgetLayouts"), QJsonObject{{"small", QJsonArray{"theirs"}}});
            doc.insert(QStringLiteral("widgetLayoutsUpdatedAt"), QLatin1String(at));
            e.importBytes(bytes(doc));
            QCOMPARE(WidgetLayouts::read(e.settings).layouts.value(QStringLiteral("small")),
                     QStringList{QLatin1String(expected)});
        }
    }

    void transformStatDuplicatesPurgedOnce()
    {
        Env e;
        const QDateTime at = kNow.addDays(-3);
        auto stat = [&](int fixes, const char* source, int secs) {
            TransformationStat s;
            s.fixCount = fixes;
            s.wordCount = 10;
            s.source = QLatin1String(source);
            s.createdAt = at.addSecs(secs);
            return s;
        };
        for (const TransformationStat& s : {stat(1, "ai", 0), stat(1, "ai", 0), stat(1, "ai", 0), stat(2, "ai", 0),
                                            stat(1, "learning", 0), stat(1, "ai", 1)})
            QVERIFY(e.store->insert(s));
        TransformStatDedup::runOnce(*e.store, e.settings, e.log);
        QCOMPARE(e.store->count<TransformationStat>(), 4);
        QVERIFY(e.settings.boolValue(AppSettingsKey::transformStatDedup, false));
        static const QRegularExpression line(
            QStringLiteral(R"(\[SYNC\] PURGE TransformationStat : 2 doublons supprimés \(6 → 4\) en \d+\.\d s)"));
        QVERIFY2(e.log.contents().contains(line), qPrintable(e.log.contents()));

        // Once per installation: later duplicates are left alone.
        QVERIFY(e.store->insert(stat(2, "ai", 0)));
        TransformStatDedup::runOnce(*e.store, e.settings, e.log);
        QCOMPARE(e.store->count<TransformationStat>(), 5);
    }
};

QTEST_GUILESS_MAIN(TestBackupPayload)
#include "tst_backuppayload.moc"
