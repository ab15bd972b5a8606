#include "ProcessCommand.h"

#include "CommandLine.h"
#include "DBGeral.h"
#include "Dialogs.h"
#include "Errors.h"
#include "HostLogin.h"
#include "HostServices.h"
#include "QtServices.h"
#include "ScreenLoader.h"
#include "ScriptedServices.h"
#include "ServerSession.h"
#include "Transcript.h"
#include "Variants.h"

#include <QCommandLineParser>
#include <QFile>
#include <QJsonArray>

#include <cstdio>
#include <optional>

namespace {

void printError(const QString& text) { std::fprintf(stderr, "ore-host: %s\n", text.toLocal8Bit().constData()); }

struct Options {
    QVariantList entry;            // the six values of IniProc
    QString server;
    QString ca;
    bool headless = false;
    QString script;
    QString transcript;
    QString db;                    // the database of the location tables
};

std::optional<Options> parse(const QStringList& arguments, QString& error)
{
    QCommandLineParser parser;
    parser.addOptions({
        {QStringLiteral("situation"), QStringLiteral("situação do orçamento (1 a 8)"), QStringLiteral("N")},
        {QStringLiteral("branch"), QStringLiteral("filial"), QStringLiteral("B")},
        {QStringLiteral("quote"), QStringLiteral("número do orçamento"), QStringLiteral("Q")},
        {QStringLiteral("seq"), QStringLiteral("sequência do orçamento"), QStringLiteral("S")},
        {QStringLiteral("operator"), QStringLiteral("operador"), QStringLiteral("O")},
        {QStringLiteral("screen"), QStringLiteral("tela que chama (ORE00100, ORE00400, ORE00800)"), QStringLiteral("TELA")},
        {QStringLiteral("server"), QStringLiteral("servidor de aplicação"), QStringLiteral("URL"), QStringLiteral("http://127.0.0.1:8400")},
        {QStringLiteral("ca"), QStringLiteral("certificados PEM em que confiar para https, em vez dos do sistema"), QStringLiteral("ARQUIVO")},
        {QStringLiteral("headless"), QStringLiteral("sem janela: as interações vêm do script")},
        {QStringLiteral("script"), QStringLiteral("script das interações"), QStringLiteral("ARQUIVO")},
        {QStringLiteral("transcript"), QStringLiteral("arquivo da transcrição (JSON lines)"), QStringLiteral("ARQUIVO")},
        {QStringLiteral("db"), QStringLiteral("banco das localidades: sqlite:ARQUIVO ou postgresql://usuario@host:porta/banco"), QStringLiteral("URL")},
    });
    if (const auto wrong = ParseCommandLine(parser, QStringList{QStringLiteral("ore-host")} + arguments)) {
        error = *wrong;
        return std::nullopt;
    }
    Options o;
    for (const char* name : {"situation", "branch", "quote", "seq", "operator", "screen"}) {
        if (!parser.isSet(QString::fromLatin1(name))) {
            error = QStringLiteral("falta --%1").arg(QString::fromLatin1(name));
            return std::nullopt;
        }
        o.entry << parser.value(QString::fromLatin1(name));
    }
    // The situation goes as a number when it is one; anything else is the entry's to refuse.
    bool isNumber = false;
    if (const int situation = o.entry[0].toString().toInt(&isNumber); isNumber)
        o.entry[0] = situation;
    o.server = parser.value(QStringLiteral("server"));
    o.ca = parser.value(QStringLiteral("ca"));
    o.headless = parser.isSet(QStringLiteral("headless"));
    o.script = parser.value(QStringLiteral("script"));
    o.transcript = parser.value(QStringLiteral("transcript"));
    o.db = parser.value(QStringLiteral("db"));
    if (o.headless && o.script.isEmpty()) {
        error = QStringLiteral("--headless pede --script ARQUIVO");
        return std::nullopt;
    }
    return o;
}

} // namespace

bool WantsHeadless(const QStringList& arguments) { return arguments.contains(QStringLiteral("--headless")); }

int RunProcessCommand(const QStringList& arguments)
{
    QString error;
    const auto options = parse(arguments, error);
    if (!options || !PointSessionAt(options->server, options->ca, error)) {
        printError(error);
        printError(QStringLiteral("uso: ore-host process --situation N --branch B --quote Q --seq S --operator O --screen TELA "
                                  "[--server URL [--ca ARQUIVO]] [--db URL] [--headless --script ARQUIVO] [--transcript ARQUIVO] (ore-host help explica)"));
        return StatusUsage;
    }
    if (const auto status = LogInForCommand(options->entry.value(4).toString(), options->entry.value(1).toString(), options->headless))
        return *status;
    TLogoutOnExit logout;

    QFile transcriptFile(options->transcript);
    QIODevice* transcriptDevice = nullptr;
    if (!options->transcript.isEmpty()) {
        if (!transcriptFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            printError(QStringLiteral("a transcrição %1 não pôde ser criada: %2").arg(options->transcript, transcriptFile.errorString()));
            return StatusError;
        }
        transcriptDevice = &transcriptFile;
    }

    ScriptedHostServices* scripted = nullptr;
    TTranscript* transcript = nullptr;
    try {
        if (options->headless) {
            QFile script(options->script);
            if (!script.open(QIODevice::ReadOnly))
                throw EHostError(QStringLiteral("o script %1 não pôde ser lido: %2").arg(options->script, script.errorString()));
            auto services = std::make_unique<ScriptedHostServices>(ScriptedHostServices::ParseScript(script.readAll()));
            services->SetTranscriptDevice(transcriptDevice);
            scripted = services.get();
            InstallHostServices(std::move(services));
        } else if (transcriptDevice) {
            auto services = std::make_unique<RecordingHostServices>(std::make_unique<QtHostServices>(), transcriptDevice);
            transcript = &services->Transcript();
            InstallHostServices(std::move(services));
        } else {
            InstallHostServices(std::make_unique<QtHostServices>());
        }
    } catch (const EHostError& e) {
        printError(e.message());
        return StatusUsage;
    }

    auto write = [&](const QJsonObject& line) {
        if (scripted)
            scripted->Write(line);
        else if (transcript)
            transcript->Write(line);
    };
    write({{QStringLiteral("kind"), QStringLiteral("start")}, {QStringLiteral("args"), QJsonArray::fromVariantList(options->entry)}});

    int status = StatusOk;
    try {
        if (!options->db.isEmpty())
            TdtmDBGeral::Open(options->db);
        RunPackageScreen(QStringLiteral("ORE06400"), options->entry);
    } catch (const EAbort&) {
        status = options->headless ? StatusBlocked : StatusError;   // the operator has been told already
    } catch (const std::exception& e) {
        const QString text = QString::fromUtf8(e.what());
        printError(text);
        if (!options->headless)
            MensErro(text, false);
        else if (scripted)
            scripted->Write(TTranscript::Message(text, mtError));
        status = StatusError;
    }
    if (scripted) {
        // Automation tells a finished operation from a blocked one, and a script that did not fit.
        if (scripted->RemainingSteps() > 0) {
            scripted->Write({{QStringLiteral("kind"), QStringLiteral("unused")}, {QStringLiteral("steps"), scripted->RemainingStepList()}});
            printError(QStringLiteral("%1 passo(s) do script não foram usados.").arg(scripted->RemainingSteps()));
        }
        if (scripted->UnscriptedCount() > 0 || scripted->RemainingSteps() > 0)
            status = StatusUnscripted;
        else if (status == StatusOk && scripted->ErrorsShown() > 0)
            status = StatusBlocked;
    }
    write({{QStringLiteral("kind"), QStringLiteral("end")}, {QStringLiteral("status"), status}});
    UnloadPackages();
    TdtmDBGeral::Close();
    UninstallHostServices();
    return status;
}
