#include "CliArgs.h"
#include "CliCommand.h"
#include "Services.h"
#include "Terminal.h"

#include "leaderboard/LeaderboardManager.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

namespace {

QString rankText(qint64 rank, bool capped)
{
    const QString n = QLocale(QLocale::French).toString(rank);
    return capped ? QStringLiteral("≥ ") + n : n;
}

QCoro::Task<int> show(CliContext& ctx, bool json)
{
    LeaderboardManager& board = ctx.services.leaderboard();
    ctx.terminal.showProgress(QStringLiteral("Mise à jour du classement…"));
    auto refreshing = board.refresh(ctx.services.store());
    co_await refreshing;
    ctx.terminal.clearProgress();
    if (board.errorMessage()) {
        ctx.err << *board.errorMessage() << "\n";
        co_return 1;
    }
    if (json) {
        QJsonArray entries;
        for (const LeaderboardEntry& e : board.entries())
            entries.append(QJsonObject{{QStringLiteral("id"), e.id},
                                       {QStringLiteral("pseudo"), e.pseudo},
                                       {QStringLiteral("words"), e.words},
                                       {QStringLiteral("isMe"), e.isMe}});
        QJsonObject o{{QStringLiteral("entries"), entries},
                      {QStringLiteral("hasMore"), board.hasMore()},
                      {QStringLiteral("myWords"), board.myWords()},
                      {QStringLiteral("myRankIsCapped"), board.myRankIsCapped()}};
        if (board.myRecordName())
            o.insert(QStringLiteral("myRecordName"), *board.myRecordName());
        if (board.myRank())
            o.insert(QStringLiteral("myRank"), *board.myRank());
        ctx.out << QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented));
        co_return 0;
    }
    const QLocale fr(QLocale::French);
    int place = 0;
    for (const LeaderboardEntry& e : board.entries()) {
        ++place;
        ctx.out << (e.isMe ? QStringLiteral("▸ ") : QStringLiteral("  ")) << QString::number(place).rightJustified(4)
                << "  " << e.pseudo.leftJustified(LeaderboardEntry::kMaxPseudoLength) << "  "
                << fr.toString(e.words).rightJustified(12) << " mots\n";
    }
    if (board.entries().isEmpty())
        ctx.out << "Personne n'apparaît encore au classement.\n";
    else if (board.hasMore())
        ctx.out << "…\n";
    if (board.myRank())
        ctx.out << "Ton rang : " << rankText(*board.myRank(), board.myRankIsCapped()) << " (" << fr.toString(board.myWords())
                << " mots)\n";
    co_return 0;
}

QCoro::Task<int> join(CliContext& ctx, const QString& name)
{
    const auto read = ctx.terminal.readSecret(QStringLiteral("Mot de passe pour %1 : ").arg(name));
    if (!read) {
        ctx.err << read.error() << "\n";
        co_return 1;
    }
    auto joining = ctx.services.leaderboard().join(name, read.value());
    const auto joined = co_await joining;
    if (!joined) {
        ctx.err << joined.error().userMessage() << "\n";
        co_return 1;
    }
    ctx.out << "Tu participes au classement sous le nom " << *joined << ".\n";
    co_return 0;
}

QCoro::Task<int> leave(CliContext& ctx)
{
    LeaderboardManager& board = ctx.services.leaderboard();
    auto leaving = board.leave();
    const bool removed = co_await leaving;
    if (!removed) {
        ctx.err << board.removalErrorMessage().value_or(LeaderboardError::kUnavailableMessage) << "\n";
        co_return 1;
    }
    ctx.out << "Tu ne participes plus au classement : ton entrée a été retirée.\n";
    co_return 0;
}

QCoro::Task<int> leaderboardCommand(CliContext& ctx, QStringList args)
{
    const auto parsed = CliArgs::parse(args, {QStringLiteral("json")}, {});
    if (!parsed)
        co_return usageError(ctx, parsed.error());
    const QString verb = parsed->at(0);
    const qsizetype n = parsed->positional().size();
    const bool json = parsed->flag(QStringLiteral("json"));
    if (n == 0) {
        auto showing = show(ctx, json);
        co_return co_await showing;
    }
    if (verb == QLatin1String("join") && n == 2 && !json) {
        auto joining = join(ctx, parsed->at(1));
        co_return co_await joining;
    }
    if (verb == QLatin1String("leave") && n == 1 && !json) {
        auto leaving = leave(ctx);
        co_return co_await leaving;
    }
    co_return usageError(ctx, {});
}

} // namespace

QList<CliCommand> leaderboardCommands()
{
    CliCommand c{QStringLiteral("leaderboard"), QStringLiteral("Le classement mondial des mots dictés."),
                 &leaderboardCommand,
                 {},
                 {{QString(), QStringLiteral("[--json]"),
                   QStringLiteral("Publie ton nombre de mots, puis affiche la première page et ton rang.")},
                  {QStringLiteral("join"), QStringLiteral("NOM"),
                   QStringLiteral("Crée ton compte sur le serveur du classement, ou t'y connecte : mot de passe\n"
                                  "      tapé sans écho sur un terminal, sinon lu sur l'entrée standard.")},
                  {QStringLiteral("leave"), {}, QStringLiteral("Quitte le classement : ton entrée est supprimée.")}},
                 QStringLiteral("Options :\n"
                                "  --json   la première page et le rang en JSON\n"
                                "Serveur : ovra settings set ovra.mac.leaderboardURL https://serveur/base")};
    // Showing the board reads the store only; joining and leaving do not touch it.
    c.store = Services::StoreUse::readOnly;
    c.verbs[0].store = Services::StoreUse::readOnly;
    c.verbs[1].store = Services::StoreUse::none;
    c.verbs[2].store = Services::StoreUse::none;
    return {c};
}
