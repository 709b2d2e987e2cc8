// `ovra notes` through the real binary and a real store: what each verb prints and keeps.
#include "fakes/OvraProcess.h"
#include "store/RecordStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

class TestCliNotes : public QObject
{
    Q_OBJECT

    OvraRun ovra(const QTemporaryDir& home, const QStringList& args, const QByteArray& input = {})
    {
        return runOvra(home.path(), args, input);
    }
    static std::unique_ptr<RecordStore> open(const QTemporaryDir& home)
    {
        return std::move(RecordStore::open(home.filePath("data/ovra/ovra.sqlite"), {}).value());
    }

private Q_SLOTS:
    void addListShowEditRemove()
    {
        QTemporaryDir home;
        const OvraRun added = ovra(home, {"notes", "add", "Pain\nLait", "--title", "Courses", "--favorite", "on"});
        QCOMPARE(added.code, 0);
        const QString id = added.out.trimmed();
        QVERIFY(!QUuid::fromString(id).isNull());
        QCOMPARE(ovra(home, {"notes", "add", "-"}, "# Réunion\nOrdre du jour\n").code, 0);

        const OvraRun list = ovra(home, {"notes", "list"});
        QCOMPARE(list.code, 0);
        const QStringList lines = list.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[0].startsWith("  ") && lines[0].endsWith("  # Réunion")); // newest first, title from line 1
        QVERIFY(lines[1].startsWith("* " + id) && lines[1].endsWith("  Courses"));
        QCOMPARE(ovra(home, {"notes", "list", "--favorites"}).out.count('\n'), 1);
        QCOMPARE(ovra(home, {"notes", "list", "--search", "ORDRE"}).out.count('\n'), 1);

        QCOMPARE(ovra(home, {"notes", "show", "courses"}).out, "Pain\nLait\n");
        QCOMPARE(ovra(home, {"notes", "edit", "Courses", "--append", "Œufs"}).code, 0);
        QCOMPARE(ovra(home, {"notes", "edit", id, "--title", "Épicerie", "--favorite", "off"}).code, 0);
        const QJsonObject json = QJsonDocument::fromJson(ovra(home, {"notes", "show", id, "--json"}).out.toUtf8()).object();
        QCOMPARE(json.value("content").toString(), "Pain\nLait\nŒufs");
        QCOMPARE(json.value("title").toString(), "Épicerie");
        QCOMPARE(json.value("isFavorite").toBool(), false);

        QCOMPARE(ovra(home, {"notes", "remove", "Épicerie"}).code, 0);
        const QJsonArray rest = QJsonDocument::fromJson(ovra(home, {"notes", "list", "--json"}).out.toUtf8()).array();
        QCOMPARE(rest.size(), 1);
        QCOMPARE(open(home)->fetch<DeletionTombstone>().size(), 1); // the other devices learn of it
    }

    void editKeepsTheAssistantConversation()
    {
        QTemporaryDir home;
        QCOMPARE(ovra(home, {"notes", "list"}).code, 0); // creates the store
        Note note;
        note.content = "Brouillon";
        note.assistantTranscriptJSON = R"({"messages":[{"role":"user","text":"Raccourcis"}],"latestProposal":"B"})";
        (void)open(home)->insert(note);
        QCOMPARE(ovra(home, {"notes", "edit", note.id.toString(QUuid::WithoutBraces), "--content", "-"},
                      "Version finale").code,
                 0);
        const auto stored = open(home)->find<Note>(note.id);
        QCOMPARE(stored->content, "Version finale");
        QCOMPARE(stored->assistantTranscriptJSON, note.assistantTranscriptJSON);
    }

    void largeNoteThroughStandardInput()
    {
        QTemporaryDir home;
        QByteArray big;
        while (big.size() < (1 << 20))
            big += "Ligne de texte accentuée — é à ç.\n";
        const OvraRun added = ovra(home, {"notes", "add", "-", "--title", "Gros"}, big);
        QCOMPARE(added.code, 0);
        QCOMPARE(ovra(home, {"notes", "show", "Gros"}).out.toUtf8(), big);
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("err");
        QTest::newRow("empty note") << QStringList{"notes", "add", "  "} << 2 << "Une note vide n'est pas ajoutée.";
        QTest::newRow("nothing to edit") << QStringList{"notes", "edit", "Un"} << 2 << "Rien à modifier";
        QTest::newRow("content and append") << QStringList{"notes", "edit", "Un", "--content", "a", "--append", "b"} << 2
                                            << "ne vont pas ensemble";
        QTest::newRow("favorite value") << QStringList{"notes", "edit", "Un", "--favorite", "yes"} << 2
                                        << "--favorite attend on ou off.";
        QTest::newRow("unknown") << QStringList{"notes", "remove", "Trois"} << 1 << "Aucune note ne s'appelle « Trois ».";
        QTest::newRow("ambiguous") << QStringList{"notes", "show", "Deux"} << 1
                                   << "Plusieurs notes s'appellent « Deux » : donne son identifiant.";
    }
    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, err);
        QTemporaryDir home;
        for (const char* text : {"Un", "Deux", "Deux"})
            QCOMPARE(ovra(home, {"notes", "add", text}).code, 0);
        const OvraRun r = ovra(home, args);
        QCOMPARE(r.code, code);
        QCOMPARE(r.out, QString());
        QVERIFY2(r.err.contains(err), qPrintable(r.err));
        QCOMPARE(open(home)->count<Note>(), 3); // nothing lost
    }
};

QTEST_GUILESS_MAIN(TestCliNotes)
#include "tst_cli_notes.moc"
