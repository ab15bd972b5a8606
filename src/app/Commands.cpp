#include "Commands.h"

#include "ClientDataSet.h"
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
#include "ServerSession.h"
#include "Transcript.h"
#include "Variants.h"
#include "Wire.h"

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

namespace {

void print(const QString& text) { std::printf("%s\n", text.toLocal8Bit().constData()); }
void printError(const QString& text) { std::fprintf(stderr, "ore-host: %s\n", text.toLocal8Bit().constData()); }

struct Common {
    QString server, ca, operatorCode, branch, db, out, quote, sequence;
    QStringList positional;
};

std::optional<Common> parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.addOptions({{QStringLiteral("server"), QStringLiteral("servidor"), QStringLiteral("URL"), QStringLiteral("http://127.0.0.1:8400")},
                       {QStringLiteral("ca"), QStringLiteral("certificados PEM em que confiar para https"), QStringLiteral("FILE")},
                       {QStringLiteral("operator"), QStringLiteral("operador"), QStringLiteral("O")},
                       {QStringLiteral("branch"), QStringLiteral("filial"), QStringLiteral("B"), QStringLiteral("0001")},
                       {QStringLiteral("db"), QStringLiteral("banco das localidades"), QStringLiteral("URL")},
                       {QStringLiteral("out"), QStringLiteral("pasta"), QStringLiteral("DIR"), QStringLiteral(".")},
                       {QStringLiteral("quote"), QStringLiteral("número do orçamento"), QStringLiteral("Q")},
                       {QStringLiteral("seq"), QStringLiteral("sequência do orçamento"), QStringLiteral("S")}});
    if (!parser.parse(QStringList{QStringLiteral("ore-host")} + arguments)) {
        printError(parser.errorText());
        return std::nullopt;
    }
    Common c{parser.value("server"), parser.value("ca"), parser.value("operator").toUpper(), parser.value("branch"), parser.value("db"),
             parser.value("out"), parser.value("quote"), parser.value("seq"), parser.positionalArguments()};
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
    TNetConnection net(nullptr, QStringLiteral("netHost"), QStringLiteral("CRV.rdmHost"));
    const QVariant result = net.Call(QStringLiteral("ListaOrcamentos"), {branch});
    if (VarIsFail(result))
        throw EHostError(result.value<TFailResult>().text);
    if (!VarIsPacket(result))
        throw EHostError(QStringLiteral("ListaOrcamentos não respondeu com uma lista."));
    return result.value<TDataPacket>();
}

// Shows each form for as long as it takes to picture it, then closes it.
class ScreenshotServices : public QtHostServices {
public:
    explicit ScreenshotServices(QString file) : m_file(std::move(file)) {}
    int showModal(QDialog* form) override
    {
        form->show();
        QCoreApplication::processEvents();
        form->grab().save(m_file);
        form->close();
        return QDialog::Rejected;
    }

private:
    QString m_file;
};

} // namespace

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
        if (const QString password = qEnvironmentVariable("ORE_PASSWORD"); !password.isEmpty() && !options->operatorCode.isEmpty()) {
            login.edtSenha->setText(password);
            login.findChild<QPushButton*>(QStringLiteral("btnEntrar"))->click();
        }
        if (login.result() != QDialog::Accepted && login.ShowModal() != QDialog::Accepted)
            return StatusOk;
        TfrmListaOrcamentos list;
        list.ShowModal();
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
            auto f = [&](const char* name) { return ds.FieldByName(QString::fromLatin1(name))->AsString(); };
            print(QStringLiteral("  %1/%2  %3  %4").arg(f("NRORCAEVENTO"), f("NRSEQORCAEVE"), SituationText(f("IDSITUORCEVE").toInt()).leftJustified(24), f("DSTITUORCEVE")));
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
    QFile file(arguments.value(0));
    if (arguments.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        printError(QStringLiteral("uso: ore-host transcript ARQUIVO"));
        return StatusUsage;
    }
    for (const QByteArray& raw : file.readAll().split('\n')) {
        if (raw.trimmed().isEmpty())
            continue;
        const QJsonObject line = TTranscript::MaskPasswords(QJsonDocument::fromJson(raw).object()).toObject();   // also in files of older versions
        const QString kind = line.value("kind").toString();
        QString text;
        if (kind == QLatin1String("start"))
            text = QStringLiteral("início: %1").arg(QString::fromUtf8(QJsonDocument(line.value("args").toArray()).toJson(QJsonDocument::Compact)));
        else if (kind == QLatin1String("end"))
            text = QStringLiteral("fim, situação de saída %1").arg(line.value("status").toInt());
        else if (kind == QLatin1String("form")) {
            text = QStringLiteral("janela %1 (%2): %3").arg(line.value("form").toString(), line.value("caption").toString(), line.value("event").toString());
            if (line.contains("action"))
                text += QStringLiteral(" ") + QString::fromUtf8(QJsonDocument(line.value("action").toObject()).toJson(QJsonDocument::Compact));
            if (line.value("event").toString() == QLatin1String("shown")) {
                // The actions offered, top to bottom.
                QMap<int, QString> offered;
                const QJsonObject widgets = line.value("widgets").toObject();
                for (auto it = widgets.begin(); it != widgets.end(); ++it) {
                    const QJsonObject w = it.value().toObject();
                    if (it.key().startsWith(QLatin1String("rbt")) && w.value("visible").toBool())
                        offered.insert(w.value("top").toInt(), (w.value("checked").toBool() ? QStringLiteral("(x) ") : QStringLiteral("( ) ")) + w.value("text").toString());
                }
                if (!offered.isEmpty())
                    text += QStringLiteral(" – ") + QStringList(offered.values()).join(QStringLiteral(", "));
            }
        } else if (kind == QLatin1String("call"))
            text = QStringLiteral("chamada %1.%2: %3%4").arg(line.value("object").toString(), line.value("method").toString(), line.value("outcome").toString(),
                                                             line.contains("message") ? QStringLiteral(" – ") + line.value("message").toString() : QString());
        else if (kind == QLatin1String("message"))
            text = QStringLiteral("mensagem (%1): %2%3").arg(line.value("type").toString(), line.value("text").toString(),
                                                            line.contains("answer") ? QStringLiteral(" → ") + line.value("answer").toString() : QString());
        else if (kind == QLatin1String("wait"))
            text = line.value("on").toBool() ? QStringLiteral("aguarde…") : QStringLiteral("pronto");
        else if (kind == QLatin1String("screen"))
            text = QStringLiteral("tela %1 %2").arg(line.value("code").toString(), line.contains("event") ? QStringLiteral("fechada") : QStringLiteral("aberta"));
        else
            text = QStringLiteral("%1: %2").arg(kind, QString::fromUtf8(QJsonDocument(line).toJson(QJsonDocument::Compact)));
        print(QStringLiteral("  ") + text);
    }
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
    try {
        InstallHostServices(std::make_unique<QtHostServices>());
        {
            TfrmListaOrcamentos list;
            list.show();
            QCoreApplication::processEvents();
            list.grab().save(options->out + QStringLiteral("/lista-orcamentos.png"));
            // The panel of a quote with warnings and orders to make.
            for (list.cdsOrcamentos.First(); !list.cdsOrcamentos.Eof(); list.cdsOrcamentos.Next())
                if (list.cdsOrcamentos.FieldByName(QStringLiteral("NRORCAEVENTO"))->AsString() == QLatin1String("0000000303"))
                    list.grdOrcamentos->selectRow(list.cdsOrcamentos.RecNo() - 1);
            QCoreApplication::processEvents();
            list.grab().save(options->out + QStringLiteral("/pendencias.png"));
        }
        InstallHostServices(std::make_unique<ScreenshotServices>(options->out + QStringLiteral("/processar-orcamento.png")));
        RunPackageScreen(QStringLiteral("ORE06400"), QVariantList{1, options->branch, QStringLiteral("0000000101"), QStringLiteral("01"), Operador(),
                                                                  QStringLiteral("ORE00400")});
    } catch (const std::exception& e) {
        printError(QString::fromUtf8(e.what()));
        return StatusError;
    }
    UnloadPackages();
    UninstallHostServices();
    print(QStringLiteral("ore-host: imagens em %1").arg(options->out));
    return StatusOk;
}
