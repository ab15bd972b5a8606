// ore-host: the host application. `ore-host process ...` launches the quote-processing module.
#include "ProcessCommand.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (arguments.value(0) != QLatin1String("process")) {
        std::fprintf(stderr, "uso: ore-host process --situation N --branch B --quote Q --seq S --operator O --screen ORE00400 "
                             "[--server http://host:port] [--db URL] [--headless --script FILE] [--transcript FILE]\n");
        return StatusUsage;
    }
    arguments.removeFirst();
    // Without a person there is no need for a display.
    if (WantsHeadless(arguments) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ore-host"));
    QApplication::setApplicationDisplayName(QStringLiteral("Orçamentos de Eventos"));
    return RunProcessCommand(arguments);
}
