// ore-server: the reference application server.
//   ore-server [--db URL] [--listen HOST:PORT] [--init-demo] [--tls-cert FILE --tls-key FILE]
//              [--allow-plain-http] [--session-idle MINUTES] [--lockout-after N] [--lockout-minutes M]
//              [--workers N] [--idle-timeout SECONDS] [--max-connections N] [--max-body BYTES] [--log-slow MS]
//              [--request-timeout SECONDS] [--min-body-rate BYTES] [--max-connections-per-peer N] [--max-buffered BYTES]
//              [--statement-timeout SECONDS] [--drain-seconds SECONDS]
//   ore-server journal --db URL [--quote NUMBER] [--since YYYY-MM-DD]
//   ore-server journal --verify --db URL
//   ore-server init --db URL --branch CODE --branch-name NAME --manager CODE --manager-name NAME
//   ore-server operator add|passwd|rights|unlock|disable|enable|list …
//   ore-server check --db URL
#include "Demo.h"
#include "Errors.h"
#include "Journal.h"
#include "RpcServer.h"
#include "ServerCommands.h"
#include "ServerObjects.h"
#include "StopSignals.h"
#include "Store.h"

#include "CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include <cstdio>
#include <optional>

namespace {

// ore-server journal --verify: the journal's chain walked from its first entry to its last.
int VerifyJournal(const QString& url)
{
    Journal::TVerification verification;
    try {
        TStore store(url);
        store.migrate();
        store.readTransaction([&](QSqlDatabase& db) { verification = Journal::Verify(db); });
    } catch (const EHostError& e) {
        return CommandFailed(e.message(), 1);
    }
    if (verification.broken)
        return CommandFailed(QStringLiteral("JORNAL ADULTERADO: %1 Antes dele, %2 registro(s) conferem.").arg(*verification.broken).arg(verification.verified), 3);
    std::printf("Jornal íntegro: %lld registro(s) verificado(s), do primeiro ao último; último elo %s.\n", verification.verified,
                qPrintable(verification.lastHash));
    return 0;
}

// ore-server journal: the journal, one line per entry.
int RunJournal(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QList<QCommandLineOption> options{
        DbOption(),
        {QStringLiteral("quote"), QStringLiteral("só os registros deste número de orçamento"), QStringLiteral("NUMERO")},
        {QStringLiteral("since"), QStringLiteral("só os registros deste dia em diante"), QStringLiteral("AAAA-MM-DD")},
        {QStringLiteral("verify"), QStringLiteral("confere a cadeia do jornal em vez de listá-lo")}};
    if (const auto status = ReadCommandLine(parser, options, arguments,
                                            QStringLiteral("uso: ore-server journal [--db URL] [--quote NUMERO] [--since AAAA-MM-DD]\n"
                                                           "  o jornal de quem fez o quê, uma linha por registro\n"
                                                           "     ore-server journal --verify [--db URL]\n"
                                                           "  confere a cadeia do jornal, do primeiro registro ao último; termina com\n"
                                                           "  0 quando está íntegra, 3 quando um registro foi alterado, apagado ou\n"
                                                           "  incluído por fora do servidor (o primeiro encontrado é nomeado), 1 quando\n"
                                                           "  o banco não pode ser lido, 2 quando a linha de comando está errada\n")))
        return *status;
    if (parser.isSet(QStringLiteral("verify"))) {
        if (parser.isSet(QStringLiteral("quote")) || parser.isSet(QStringLiteral("since")))
            return CommandFailed(QStringLiteral("--verify confere o jornal inteiro: não vai com --quote nem --since."), 2);
        return VerifyJournal(StoreUrl(parser));
    }
    QDate since;
    if (parser.isSet(QStringLiteral("since"))) {
        since = QDate::fromString(parser.value(QStringLiteral("since")), Qt::ISODate);
        if (!since.isValid())
            return CommandFailed(QStringLiteral("--since deve ser AAAA-MM-DD (recebido \"%1\")").arg(parser.value(QStringLiteral("since"))), 2);
    }
    try {
        TStore store(StoreUrl(parser));
        store.migrate();
        QSqlDatabase db = store.connection();
        Journal::Read(db, parser.value(QStringLiteral("quote")), since, [](const TJournalEntry& entry) {
            std::printf("%s\n", Journal::Line(entry).toUtf8().constData());
        });
    } catch (const EHostError& e) {
        return CommandFailed(e.message(), 1);
    }
    return 0;
}

int positiveOption(const QCommandLineParser& parser, const QString& name, int& value)
{
    bool ok = false;
    value = parser.value(name).toInt(&ok);
    return ok && value > 0 ? 0 : CommandFailed(QStringLiteral("--%1 deve ser um número inteiro maior que zero (recebido \"%2\")").arg(name, parser.value(name)), 2);
}

int positiveOption(const QCommandLineParser& parser, const QString& name, qint64& value)
{
    bool ok = false;
    value = parser.value(name).toLongLong(&ok);
    return ok && value > 0 ? 0 : CommandFailed(QStringLiteral("--%1 deve ser um número inteiro maior que zero (recebido \"%2\")").arg(name, parser.value(name)), 2);
}

int nonNegativeOption(const QCommandLineParser& parser, const QString& name, int& value)
{
    bool ok = false;
    value = parser.value(name).toInt(&ok);
    return ok && value >= 0 ? 0 : CommandFailed(QStringLiteral("--%1 deve ser um número inteiro, 0 para nenhum limite (recebido \"%2\")").arg(name, parser.value(name)), 2);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_NO_GLIB", "1");   // the plain event loop answers sooner
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ore-server"));
    QStringList arguments = QCoreApplication::arguments();
    // The commands besides serving: `ore-server COMMAND …`.
    const std::pair<const char*, int (*)(const QStringList&)> commands[] = {
        {"journal", RunJournal}, {"init", RunInit}, {"operator", RunOperator}, {"check", RunCheck}};
    for (const auto& [command, run] : commands)
        if (arguments.size() > 1 && arguments[1] == QLatin1String(command)) {
            arguments.removeAt(1);
            return run(arguments);
        }

    QCommandLineParser parser;
    const QList<QCommandLineOption> options{
        DbOption(),
        {QStringLiteral("listen"), QStringLiteral("endereço e porta (padrão 127.0.0.1:8400; porta 0: uma livre)"), QStringLiteral("HOST:PORTA"),
         QStringLiteral("127.0.0.1:8400")},
        {QStringLiteral("init-demo"), QStringLiteral("preenche um banco vazio com os dados de demonstração")},
        {QStringLiteral("tls-cert"), QStringLiteral("certificado PEM: atende só HTTPS"), QStringLiteral("ARQUIVO")},
        {QStringLiteral("tls-key"), QStringLiteral("chave privada PEM do certificado"), QStringLiteral("ARQUIVO")},
        {QStringLiteral("allow-plain-http"), QStringLiteral("aceita HTTP sem TLS num endereço que não é o local")},
        {QStringLiteral("session-idle"), QStringLiteral("minutos sem uso que encerram uma sessão (padrão 480)"), QStringLiteral("MINUTOS"),
         QStringLiteral("480")},
        {QStringLiteral("lockout-after"), QStringLiteral("falhas de senha seguidas que bloqueiam o endereço de onde vêm, e o operador quando vêm de vários (padrão 5)"), QStringLiteral("N"),
         QStringLiteral("5")},
        {QStringLiteral("lockout-minutes"), QStringLiteral("minutos de bloqueio (padrão 5)"), QStringLiteral("MINUTOS"), QStringLiteral("5")},
        {QStringLiteral("workers"), QStringLiteral("chamadas atendidas ao mesmo tempo (padrão: o número de núcleos, no mínimo 2)"), QStringLiteral("N"),
         QString::number(std::max(2, QThread::idealThreadCount()))},
        {QStringLiteral("idle-timeout"), QStringLiteral("segundos sem pedido que fecham uma conexão (padrão 60)"), QStringLiteral("SEGUNDOS"),
         QStringLiteral("60")},
        {QStringLiteral("max-connections"), QStringLiteral("conexões abertas no máximo; além delas, 503 (padrão 512)"), QStringLiteral("N"),
         QStringLiteral("512")},
        {QStringLiteral("max-body"), QStringLiteral("bytes de um pedido no máximo; além deles, 413 (padrão 16777216, 16 MiB)"), QStringLiteral("BYTES"),
         QStringLiteral("16777216")},
        {QStringLiteral("log-slow"), QStringLiteral("escreve na saída de erros cada chamada mais lenta que MS milissegundos"), QStringLiteral("MS")},
        {QStringLiteral("request-timeout"),
         QStringLiteral("segundos para o cabeçalho de um pedido chegar inteiro depois de seu primeiro byte, e para o corpo, além do tempo que "
                        "seu tamanho leva em --min-body-rate; depois, 408 e a conexão fechada (padrão 10)"),
         QStringLiteral("SEGUNDOS"), QStringLiteral("10")},
        {QStringLiteral("min-body-rate"), QStringLiteral("bytes por segundo com que o corpo de um pedido deve chegar, no mínimo (padrão 32768)"),
         QStringLiteral("BYTES"), QStringLiteral("32768")},
        {QStringLiteral("max-connections-per-peer"),
         QStringLiteral("conexões abertas de um mesmo endereço no máximo; além delas, 503; 0, sem limite (padrão 64)"), QStringLiteral("N"),
         QStringLiteral("64")},
        {QStringLiteral("max-buffered"),
         QStringLiteral("bytes dos corpos de pedido em curso, somados todos, no máximo; um pedido que passaria deles recebe 503 (padrão 134217728, "
                        "128 MiB; nunca menos que --max-body)"),
         QStringLiteral("BYTES"), QStringLiteral("134217728")},
        {QStringLiteral("statement-timeout"),
         QStringLiteral("PostgreSQL: segundos que um comando pode durar antes de o banco cancelá-lo e desfazer sua transação; 0, sem limite "
                        "(padrão 60; a migração do esquema não tem limite)"),
         QStringLiteral("SEGUNDOS"), QStringLiteral("60")},
        {QStringLiteral("drain-seconds"),
         QStringLiteral("segundos que uma parada espera pelas chamadas em curso; depois o processo termina sem elas, e o banco desfaz o que "
                        "não foi confirmado (padrão 10)"),
         QStringLiteral("SEGUNDOS"), QStringLiteral("10")},
    };
    if (const auto status = ReadCommandLine(parser, options, arguments,
                                            QStringLiteral("uso: ore-server [opções]\n"
                                                           "  o servidor de aplicação dos orçamentos de eventos\n"
                                                           "     ore-server journal [--db URL] [--quote NUMERO] [--since AAAA-MM-DD]\n"
                                                           "  o jornal de quem fez o quê (ore-server journal --help)\n"
                                                           "     ore-server journal --verify [--db URL]\n"
                                                           "  confere a cadeia do jornal: 0 íntegra, 3 adulterada\n"
                                                           "     ore-server init --db URL --branch CODIGO --branch-name NOME --manager CODIGO --manager-name NOME\n"
                                                           "  prepara o banco de um escritório novo (ore-server init --help)\n"
                                                           "     ore-server operator add|passwd|rights|unlock|disable|enable|list …\n"
                                                           "  os operadores (ore-server operator --help)\n"
                                                           "     ore-server check [--db URL]\n"
                                                           "  confere o banco sem mudar nada: 0 íntegro, 4 com a lista do que encontrou\n")))
        return *status;

    const QString listen = parser.value(QStringLiteral("listen"));
    const qsizetype colon = listen.lastIndexOf(QLatin1Char(':'));
    bool portOk = false;
    const int port = listen.mid(colon + 1).toInt(&portOk);
    const QHostAddress address(colon > 0 ? listen.left(colon) : QStringLiteral("127.0.0.1"));
    if (colon <= 0 || !portOk || port < 0 || port > 65535 || address.isNull())
        return CommandFailed(QStringLiteral("--listen deve ser HOST:PORTA (recebido \"%1\")").arg(listen), 2);

    const QString certificate = parser.value(QStringLiteral("tls-cert")), key = parser.value(QStringLiteral("tls-key"));
    if (certificate.isEmpty() != key.isEmpty())
        return CommandFailed(QStringLiteral("--tls-cert e --tls-key vão juntos."), 2);
    const bool tls = !certificate.isEmpty();
    if (!tls && !address.isLoopback() && !parser.isSet(QStringLiteral("allow-plain-http")))
        return CommandFailed(QStringLiteral("%1 não é um endereço local: sem TLS as senhas e os dados passariam abertos pela rede. "
                                   "Use --tls-cert e --tls-key, ou --allow-plain-http se a rede for protegida de outro modo.")
                        .arg(address.toString()),
                    2);

    TSessionPolicy policy;
    TRpcServerOptions serving;
    int idleSeconds = 0, maxBody = 0, statementTimeout = 0, drainSeconds = 0, requestSeconds = 0;
    if (positiveOption(parser, QStringLiteral("session-idle"), policy.idleMinutes) + positiveOption(parser, QStringLiteral("lockout-after"), policy.lockoutAfter)
        + positiveOption(parser, QStringLiteral("lockout-minutes"), policy.lockoutMinutes) + positiveOption(parser, QStringLiteral("workers"), serving.workers)
        + positiveOption(parser, QStringLiteral("idle-timeout"), idleSeconds) + positiveOption(parser, QStringLiteral("max-connections"), serving.maxConnections)
        + positiveOption(parser, QStringLiteral("max-body"), maxBody) + positiveOption(parser, QStringLiteral("drain-seconds"), drainSeconds)
        + positiveOption(parser, QStringLiteral("request-timeout"), requestSeconds)
        + positiveOption(parser, QStringLiteral("min-body-rate"), serving.minBodyBytesPerSecond)
        + nonNegativeOption(parser, QStringLiteral("max-connections-per-peer"), serving.maxConnectionsPerPeer)
        + positiveOption(parser, QStringLiteral("max-buffered"), serving.maxBufferedBodyBytes))
        return 2;
    serving.headTimeoutMs = serving.bodyTimeoutMs = int(std::min<qint64>(qint64(requestSeconds) * 1000, INT_MAX));
    bool timeoutOk = false;
    statementTimeout = parser.value(QStringLiteral("statement-timeout")).toInt(&timeoutOk);
    if (!timeoutOk || statementTimeout < 0)
        return CommandFailed(QStringLiteral("--statement-timeout deve ser um número de segundos, 0 para nenhum limite (recebido \"%1\")")
                        .arg(parser.value(QStringLiteral("statement-timeout"))),
                    2);
    serving.idleTimeoutMs = idleSeconds * 1000;
    serving.maxBodyBytes = maxBody;
    if (parser.isSet(QStringLiteral("log-slow"))) {
        bool ok = false;
        serving.logSlowMs = parser.value(QStringLiteral("log-slow")).toInt(&ok);
        if (!ok || serving.logSlowMs < 0)
            return CommandFailed(QStringLiteral("--log-slow deve ser um número de milissegundos (recebido \"%1\")").arg(parser.value(QStringLiteral("log-slow"))), 2);
    }
    // Password checks take tens of milliseconds of a core: they have a lane of their own.
    serving.slowMethods = QStringList{QStringLiteral("CRV.rdmHost.Login"), QStringLiteral("CRV.rdmHost.ConfSenha")};

    KeepMemoryBetweenCalls();
    try {
        TStore store(StoreUrl(parser));
        store.setStatementTimeout(statementTimeout);
        store.migrate();
        if (parser.isSet(QStringLiteral("init-demo")))
            InitDemo(store);
        TServerObjects objects(store, policy);
        RegisterAll(objects);
        const std::unique_ptr<TRpcServer> served = objects.Serve(serving);
        TRpcServer& server = *served;
        if (tls)
            server.UseTls(certificate, key);
        server.Listen(address, quint16(port));
        std::printf("ore-server: %s, escutando em %s:%d%s, %d chamadas ao mesmo tempo\n", qPrintable(store.displayUrl()), qPrintable(address.toString()),
                    server.Port(), tls ? " (HTTPS)" : "", serving.workers);
        std::fflush(stdout);
        const TStopSignals stopSignals([](int) { QCoreApplication::quit(); });
        const int status = app.exec();
        if (!server.Stop(drainSeconds * 1000)) {
            // A call stuck past the wait (on a database that stopped answering) does not hold the
            // stop: the process ends without it, and the database undoes its transaction.
            std::fprintf(stderr, "ore-server: chamadas ainda em curso após %d s de espera; o servidor para sem elas.\n", drainSeconds);
            std::fflush(nullptr);
            std::_Exit(status);
        }
        return status;
    } catch (const EHostError& e) {
        return CommandFailed(e.message(), 1);
    }
}
