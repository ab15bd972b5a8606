// ore-host: the host application.
//   ore-host [list] ...        the login and the branch's quotes (the default)
//   ore-host process ...       the module for one quote, in a window or headless
//   ore-host quotes ...        the branch's quotes as text
//   ore-host check ...         what would stop a quote's next actions
//   ore-host transcript FILE   a transcript as readable lines
//   ore-host screenshots ...   pictures of the quote list and the processing dialog
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
} // namespace

int main(int argc, char** argv)
{
    defaultHandler = qInstallMessageHandler(messages);
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QString command = QStringLiteral("list");
    if (!arguments.isEmpty() && !arguments.first().startsWith(QLatin1Char('-')))
        command = arguments.takeFirst();

    // Without a person there is no need for a display.
    // `quotes` needs a window only to ask for a password that ORE_PASSWORD does not give.
    const bool displayed = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const bool windowless = ((command == QLatin1String("quotes") || command == QLatin1String("check")) && (qEnvironmentVariableIsSet("ORE_PASSWORD") || !displayed))
                            || command == QLatin1String("transcript") || command == QLatin1String("screenshots")
                            || (command == QLatin1String("process") && WantsHeadless(arguments));
    if (windowless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ore-host"));
    QApplication::setApplicationDisplayName(QStringLiteral("Orçamentos de Eventos"));

    if (command == QLatin1String("process"))
        return RunProcessCommand(arguments);
    if (command == QLatin1String("list"))
        return RunListCommand(arguments);
    if (command == QLatin1String("quotes"))
        return RunQuotesCommand(arguments);
    if (command == QLatin1String("check"))
        return RunCheckCommand(arguments);
    if (command == QLatin1String("transcript"))
        return RunTranscriptCommand(arguments);
    if (command == QLatin1String("screenshots"))
        return RunScreenshotsCommand(arguments);
    std::fprintf(stderr,
                 "uso: ore-host [list] [--server URL] [--ca FILE] [--operator O] [--branch B] [--db URL]\n"
                 "     ore-host process --situation N --branch B --quote Q --seq S --operator O --screen ORE00400 "
                 "[--server http[s]://host:port] [--ca FILE] [--db URL] [--headless --script FILE] [--transcript FILE]\n"
                 "     ore-host quotes --server URL [--ca FILE] --operator O --branch B\n"
                 "     ore-host check --branch B --quote Q --seq S --operator O [--server URL] [--ca FILE]\n"
                 "     (process, quotes, check e screenshots tomam a senha de ORE_PASSWORD)\n"
                 "     ore-host transcript FILE\n"
                 "     ore-host screenshots --server URL --out DIR\n");
    return StatusUsage;
}
