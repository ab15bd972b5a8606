// ore-server: the reference application server.
//   ore-server [--db sqlite:FILE | --db postgresql://user@host:port/db] [--listen HOST:PORT] [--init-demo]
#include "Demo.h"
#include "Errors.h"
#include "RpcServer.h"
#include "ServerObjects.h"
#include "Store.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_NO_GLIB", "1");   // the plain event loop answers sooner
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ore-server"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Servidor de aplicação dos orçamentos de eventos."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("db"), QStringLiteral("banco: sqlite:ARQUIVO ou postgresql://usuario@host:porta/banco"), QStringLiteral("URL"),
         QStringLiteral("sqlite:ore.db")},
        {QStringLiteral("listen"), QStringLiteral("endereço e porta (padrão 127.0.0.1:8400; porta 0: uma livre)"), QStringLiteral("HOST:PORTA"),
         QStringLiteral("127.0.0.1:8400")},
        {QStringLiteral("init-demo"), QStringLiteral("preenche um banco vazio com os dados de demonstração")},
    });
    parser.process(app);

    const QString listen = parser.value(QStringLiteral("listen"));
    const qsizetype colon = listen.lastIndexOf(QLatin1Char(':'));
    bool portOk = false;
    const int port = listen.mid(colon + 1).toInt(&portOk);
    const QHostAddress address(colon > 0 ? listen.left(colon) : QStringLiteral("127.0.0.1"));
    if (colon <= 0 || !portOk || port < 0 || port > 65535 || address.isNull()) {
        std::fprintf(stderr, "ore-server: --listen deve ser HOST:PORTA (recebido \"%s\")\n", qPrintable(listen));
        return 2;
    }

    try {
        TStore store(parser.value(QStringLiteral("db")));
        store.migrate();
        if (parser.isSet(QStringLiteral("init-demo")))
            InitDemo(store);
        TServerObjects objects(store);
        RegisterAll(objects);
        TRpcServer server([&](const TRpcRequest& request) { return objects.Dispatch(request); });
        server.Listen(address, quint16(port));
        std::printf("ore-server: %s, escutando em %s:%d\n", qPrintable(store.url()), qPrintable(address.toString()), server.Port());
        std::fflush(stdout);
        std::signal(SIGINT, [](int) { QCoreApplication::quit(); });
        std::signal(SIGTERM, [](int) { QCoreApplication::quit(); });
        const int status = app.exec();
        server.Stop();
        return status;
    } catch (const EHostError& e) {
        std::fprintf(stderr, "ore-server: %s\n", qPrintable(e.message()));
        return 1;
    }
}
