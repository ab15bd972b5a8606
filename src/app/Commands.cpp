#include "Commands.h"

#include "ClientDataSet.h"
#include "CommandLine.h"
#include "Consiste.h"
#include "DBGeral.h"
#include "Errors.h"
#include "HostLogin.h"
#include "HostServices.h"
#include "NetConnection.h"
#include "ProcessCommand.h"
#include "QtServices.h"
#include "QuoteList.h"
#include "QuoteReport.h"
#include "ScreenLoader.h"
#include "Screenshots.h"
#include "ServerSession.h"
#include "Transcript.h"
#include "TranscriptAccount.h"
#include "Variants.h"
#include "Wire.h"
#include "WireContract.h"

#include <QCommandLineParser>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMap>
#include <QPixmap>
#include <QPushButton>
#include <QTableView>
#include <QUrl>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

void print(const QString& text) { std::printf("%s\n", text.toLocal8Bit().constData()); }
void printError(const QString& text) { std::fprintf(stderr, "ore-host: %s\n", text.toLocal8Bit().constData()); }

struct Common {
    QString server, ca, operatorCode, branch, db, out, quote, sequence;
};

std::optional<Common> parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.addOptions({{QStringLiteral("server"), QStringLiteral("servidor"), QStringLiteral("URL"), QStringLiteral("http://127.0.0.1:8400")},
                       {QStringLiteral("ca"), QStringLiteral("certificados PEM em que confiar para https"), QStringLiteral("ARQUIVO")},
                       {QStringLiteral("operator"), QStringLiteral("operador"), QStringLiteral("O")},
                       {QStringLiteral("branch"), QStringLiteral("filial"), QStringLiteral("B"), QStringLiteral("0001")},
                       {QStringLiteral("db"), QStringLiteral("banco das localidades"), QStringLiteral("URL")},
                       {QStringLiteral("out"), QStringLiteral("pasta das imagens"), QStringLiteral("PASTA"), QStringLiteral(".")},
                       {QStringLiteral("quote"), QStringLiteral("número do orçamento"), QStringLiteral("Q")},
                       {QStringLiteral("seq"), QStringLiteral("sequência do orçamento"), QStringLiteral("S")}});
    if (const auto error = ParseCommandLine(parser, QStringList{QStringLiteral("ore-host")} + arguments)) {
        printError(*error);
        return std::nullopt;
    }
    Common c{parser.value(u"server"_s), parser.value(u"ca"_s), parser.value(u"operator"_s).toUpper(), parser.value(u"branch"_s),
             parser.value(u"db"_s), parser.value(u"out"_s), parser.value(u"quote"_s), parser.value(u"seq"_s)};
    QString error;
    if (!PointSessionAt(c.server, c.ca, error)) {
        printError(error);
        return std::nullopt;
    }
    Session().filiProc = c.branch;
    Session().operador = c.operatorCode;
    return c;
}

TDataPacket quotes(const QString& branch)
{
    TNetConnection net(nullptr, QStringLiteral("netHost"), ServerObject::Host);
    const QVariant result = net.Call(QStringLiteral("ListaOrcamentos"), {branch});
    if (VarIsFail(result))
        throw EHostError(result.value<TFailResult>().text);
    if (!VarIsPacket(result))
        throw EHostError(QStringLiteral("ListaOrcamentos não respondeu com uma lista."));
    return result.value<TDataPacket>();
}

} // namespace

QString OreHostUsage()
{
    return QStringLiteral(
        "uso: ore-host [list] [--server URL] [--ca ARQUIVO] [--operator O] [--branch B] [--db URL]\n"
        "       a entrada e a lista dos orçamentos da filial, numa janela\n"
        "     ore-host process --situation N --branch B --quote Q --seq S --operator O --screen TELA\n"
        "                      [--server URL] [--ca ARQUIVO] [--db URL] [--headless --script ARQUIVO] [--transcript ARQUIVO]\n"
        "       o processamento de um orçamento, numa janela ou, com --headless, pelo script\n"
        "     ore-host quotes --operator O [--branch B] [--server URL] [--ca ARQUIVO]\n"
        "       os orçamentos da filial e suas situações, como texto\n"
        "     ore-host check --operator O --quote Q --seq S [--branch B] [--server URL] [--ca ARQUIVO]\n"
        "       o que impediria a próxima ação do orçamento e os pedidos que a execução faria (4 quando algo impede)\n"
        "     ore-host transcript [--brief] ARQUIVO\n"
        "       o relato de uma transcrição (--transcript); --brief deixa de fora as chamadas ao servidor\n"
        "     ore-host screenshots [--server URL] [--operator O] [--branch B] [--db URL] [--out PASTA]\n"
        "       as imagens de cada janela, em PNG\n"
        "     ore-host help | --help | -h\n"
        "       este texto\n"
        "\n"
        "  --server URL     o servidor: http://host:porta ou https://host:porta (padrão http://127.0.0.1:8400)\n"
        "  --ca ARQUIVO     certificados PEM em que confiar para https, em vez dos do sistema\n"
        "  --branch B       a filial (padrão 0001)\n"
        "  --db URL         o banco das localidades, só leitura: sqlite:ARQUIVO ou postgresql://usuario@host:porta/banco\n"
        "  --screen TELA    a tela que chama: ORE00100, ORE00400 ou ORE00800\n"
        "\n"
        "A senha do operador vem de ORE_PASSWORD; sem ela, uma janela a pede, e sem tela o comando para.\n"
        "Situação de saída: 0 concluído; 1 um erro chegou ao host; 2 linha de comando errada ou senha ausente;\n"
        "3 o script deixou uma interação sem resposta ou passos sem uso; 4 sem tela, um erro foi mostrado: a operação foi bloqueada.\n");
}

int RunListCommand(const QStringList& arguments)
{
    const auto options = parse(arguments);
    if (!options)
        return StatusUsage;
    InstallHostServices(std::make_unique<QtHostServices>());
    int status = StatusOk;
    try {
        if (!options->db.isEmpty())
            TdtmDBGeral::Open(options->db);
        TLogoutOnExit logout;
        TfrmLogin login(options->server, options->operatorCode, options->branch);
        // The list reads the branch's quotes while the login still shows its wait animation.
        std::unique_ptr<TfrmListaOrcamentos> list;
        login.AfterLogin = [&] { list = std::make_unique<TfrmListaOrcamentos>(); };
        if (const QString password = qEnvironmentVariable("ORE_PASSWORD"); !password.isEmpty() && !options->operatorCode.isEmpty()) {
            login.show();   // the operator sees the login at work
            QCoreApplication::processEvents();
            login.edtSenha->setText(password);
            login.findChild<QPushButton*>(QStringLiteral("btnEntrar"))->click();
        }
        if (login.result() != QDialog::Accepted && login.ShowModal() != QDialog::Accepted)
            return StatusOk;
        list->ShowModal();
    } catch (const std::exception& e) {
        printError(QString::fromUtf8(e.what()));
        status = StatusError;
    }
    UnloadPackages();
    TdtmDBGeral::Close();
    UninstallHostServices();
    return status;
}

int RunQuotesCommand(const QStringList& arguments)
{
    const auto options = parse(arguments);
    if (!options)
        return StatusUsage;
    if (options->operatorCode.isEmpty()) {
        printError(QStringLiteral("falta --operator: a lista é lida na sessão de um operador."));
        return StatusUsage;
    }
    if (const auto status = LogInForCommand(options->operatorCode, options->branch, false))
        return *status;
    TLogoutOnExit logout;
    try {
        TClientDataSet ds;
        ds.LoadPacket(quotes(options->branch));
        for (ds.First(); !ds.Eof(); ds.Next()) {
            print(QStringLiteral("  %1/%2  %3  %4")
                      .arg(ds.Text(u"NRORCAEVENTO"_s), ds.Text(u"NRSEQORCAEVE"_s), SituationText(ds.Text(u"IDSITUORCEVE"_s).toInt()).leftJustified(24),
                           ds.Text(u"DSTITUORCEVE"_s)));
        }
    } catch (const EHostError& e) {
        printError(e.message());
        return StatusError;
    }
    return StatusOk;
}

int RunCheckCommand(const QStringList& arguments)
{
    const auto options = parse(arguments);
    if (!options)
        return StatusUsage;
    const std::pair<QString, const char*> required[] = {{options->operatorCode, "--operator"}, {options->quote, "--quote"}, {options->sequence, "--seq"}};
    for (const auto& [value, name] : required)
        if (value.isEmpty()) {
            printError(QStringLiteral("falta %1: uso: ore-host check --branch B --quote N --seq S --operator OP [--server URL]").arg(QString::fromLatin1(name)));
            return StatusUsage;
        }
    if (const auto status = LogInForCommand(options->operatorCode, options->branch, false))
        return *status;
    TLogoutOnExit logout;
    try {
        const TDataPacket report = ReadQuoteReport(options->branch, options->quote, options->sequence);
        print(QStringLiteral("Orçamento %1/%2/%3").arg(options->branch, options->quote, options->sequence));
        for (const QString& line : ReportLines(report))
            print(line);
        return BlocksNextAction(report) ? StatusBlocked : StatusOk;
    } catch (const EHostError& e) {
        printError(e.message());
        return StatusError;
    }
}

int RunTranscriptCommand(const QStringList& arguments)
{
    QStringList files = arguments;
    const bool brief = files.removeAll(QStringLiteral("--brief")) > 0;
    if (files.size() != 1 || files.first().startsWith(QLatin1Char('-'))) {
        printError(QStringLiteral("uso: ore-host transcript [--brief] ARQUIVO"));
        return StatusUsage;
    }
    QFile file(files.first());
    if (!file.exists()) {
        printError(QStringLiteral("a transcrição %1 não existe.").arg(files.first()));
        return StatusUsage;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        printError(QStringLiteral("a transcrição %1 não pôde ser lida: %2").arg(files.first(), file.errorString()));
        return StatusUsage;
    }
    QList<QJsonObject> lines;
    int number = 0;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        ++number;
        if (raw.trimmed().isEmpty())
            continue;
        QJsonParseError error;
        const QJsonDocument line = QJsonDocument::fromJson(raw, &error);
        if (!line.isObject()) {
            printError(QStringLiteral("%1, linha %2: não é uma linha de transcrição (%3).").arg(files.first()).arg(number).arg(error.errorString()));
            return StatusError;
        }
        lines << TTranscript::MaskPasswords(line.object()).toObject();   // also in files of older versions
    }
    for (const QString& sentence : TranscriptAccount(lines, brief))
        print(sentence);
    return StatusOk;
}

int RunScreenshotsCommand(const QStringList& arguments)
{
    const auto options = parse(arguments);
    if (!options)
        return StatusUsage;
    QDir().mkpath(options->out);
    if (const auto status = LogInForCommand(options->operatorCode.isEmpty() ? QStringLiteral("OPER1") : options->operatorCode, options->branch, true))
        return *status;
    TLogoutOnExit logout;
    QStringList written;
    try {
        if (!options->db.isEmpty())
            TdtmDBGeral::Open(options->db);
        written = TakeScreenshots(options->out, QStringLiteral("0000000102"));
    } catch (const std::exception& e) {
        printError(QString::fromUtf8(e.what()));
        return StatusError;
    }
    UnloadPackages();
    TdtmDBGeral::Close();
    UninstallHostServices();
    print(QStringLiteral("ore-host: %1 imagens em %2").arg(written.size()).arg(options->out));
    return StatusOk;
}
