// ore-host: the host application. `ore-host help` prints the commands (OreHostUsage).
#include "CommandLine.h"
#include "Commands.h"
#include "ProcessCommand.h"

#include <QApplication>

#include <cstdio>

namespace {
// The offscreen platform, used without a person, warns about window hints it cannot honour.
QtMessageHandler defaultHandler = nullptr;
void messages(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.contains(QLatin1String("propagateSizeHints")))
        return;
    defaultHandler(type, context, text);
}

void printError(const QString& text) { std::fprintf(stderr, "ore-host: %s\n", text.toLocal8Bit().constData()); }

const QStringList commands{QStringLiteral("list"),       QStringLiteral("process"),     QStringLiteral("quotes"),
                           QStringLiteral("check"),      QStringLiteral("transcript"), QStringLiteral("screenshots")};
} // namespace

int main(int argc, char** argv)
{
    defaultHandler = qInstallMessageHandler(messages);
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    // Help needs neither a display nor a server.
    if (AsksForHelp(arguments)) {
        std::printf("%s", OreHostUsage().toLocal8Bit().constData());
        return StatusOk;
    }
    QString command = QStringLiteral("list");
    if (!arguments.isEmpty() && !arguments.first().startsWith(QLatin1Char('-')))
        command = arguments.takeFirst();
    if (!commands.contains(command)) {
        printError(QStringLiteral("comando desconhecido: %1 (ore-host help mostra os comandos)").arg(command));
        return StatusUsage;
    }

    // Without a person there is no need for a display.
    // `quotes` needs a window only to ask for a password that ORE_PASSWORD does not give.
    const bool displayed = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                           || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    const bool windowless = ((command == QLatin1String("quotes") || command == QLatin1String("check")) && (qEnvironmentVariableIsSet("ORE_PASSWORD") || !displayed))
                            || command == QLatin1String("transcript") || command == QLatin1String("screenshots")
                            || (command == QLatin1String("process") && WantsHeadless(arguments));
    if (!windowless && !displayed) {
        printError(command == QLatin1String("list")
                       ? QStringLiteral("a lista de orçamentos é uma janela e não há tela (DISPLAY ou WAYLAND_DISPLAY). Sem tela: "
                                        "ore-host quotes mostra os orçamentos, ore-host process --headless processa um deles com um script.")
                       : QStringLiteral("o processamento numa janela precisa de uma tela (DISPLAY ou WAYLAND_DISPLAY). Sem tela: "
                                        "ore-host process --headless --script ARQUIVO."));
        return StatusUsage;
    }
    if (windowless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ore-host"));
    QApplication::setApplicationDisplayName(QStringLiteral("Orçamentos de Eventos"));

    if (command == QLatin1String("process"))
        return RunProcessCommand(arguments);
    if (command == QLatin1String("quotes"))
        return RunQuotesCommand(arguments);
    if (command == QLatin1String("check"))
        return RunCheckCommand(arguments);
    if (command == QLatin1String("transcript"))
        return RunTranscriptCommand(arguments);
    if (command == QLatin1String("screenshots"))
        return RunScreenshotsCommand(arguments);
    return RunListCommand(arguments);
}
