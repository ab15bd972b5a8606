#include "CommandLine.h"

#include <QRegularExpression>

std::optional<QString> ParseCommandLine(QCommandLineParser& parser, const QStringList& arguments, bool positionals)
{
    if (!parser.parse(arguments)) {
        if (const QStringList unknown = parser.unknownOptionNames(); !unknown.isEmpty())
            return QStringLiteral("opção desconhecida: %1%2").arg(unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), unknown.first());
        // The parser's other complaint is an option given without its value.
        const QRegularExpressionMatch quoted = QRegularExpression(QStringLiteral("'([^']+)'")).match(parser.errorText());
        return quoted.hasMatch() ? QStringLiteral("falta o valor de %1").arg(quoted.captured(1)) : parser.errorText();
    }
    if (!positionals && !parser.positionalArguments().isEmpty())
        return QStringLiteral("argumento inesperado: %1").arg(parser.positionalArguments().first());
    return std::nullopt;
}

QString OptionsHelp(const QList<QCommandLineOption>& options)
{
    QStringList names;
    qsizetype width = 0;
    for (const QCommandLineOption& o : options) {
        QString name = QStringLiteral("--") + o.names().constLast();
        if (!o.valueName().isEmpty())
            name += QLatin1Char(' ') + o.valueName();
        names << name;
        width = std::max(width, name.size());
    }
    QString help;
    for (qsizetype i = 0; i < options.size(); ++i)
        help += QStringLiteral("  %1  %2\n").arg(names[i].leftJustified(width), options[i].description());
    return help;
}

bool AsksForHelp(const QStringList& arguments)
{
    return arguments.value(0) == QLatin1String("help") || arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"));
}
