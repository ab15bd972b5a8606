#include "ServerCommands.h"

#include "CommandLine.h"

#include <QDir>

#include <cstdio>
#include <iostream>
#include <string>

#include <termios.h>
#include <unistd.h>

int CommandFailed(const QString& text, int status)
{
    std::fprintf(stderr, "ore-server: %s\n", qPrintable(text));
    return status;
}

const QCommandLineOption& DbOption()
{
    static const QCommandLineOption option{QStringLiteral("db"),
                                           QStringLiteral("banco: sqlite:ARQUIVO ou postgresql://usuario@host:porta/banco "
                                                          "(padrão sqlite:ore.db, o arquivo ore.db da pasta corrente)"),
                                           QStringLiteral("URL"), QStringLiteral("sqlite:ore.db")};
    return option;
}

QString StoreUrl(const QCommandLineParser& parser)
{
    // Without --db the default file, named in full so that the operator sees which file is used.
    if (parser.isSet(DbOption()))
        return parser.value(DbOption());
    return QStringLiteral("sqlite:") + QDir::current().absoluteFilePath(QStringLiteral("ore.db"));
}

std::optional<int> ReadCommandLine(QCommandLineParser& parser, const QList<QCommandLineOption>& options, const QStringList& arguments,
                                   const QString& usage, bool positionals)
{
    parser.addOptions(options);
    if (AsksForHelp(arguments.mid(1))) {
        std::printf("%s\n%s", qPrintable(usage), qPrintable(OptionsHelp(options)));
        return 0;
    }
    if (const auto error = ParseCommandLine(parser, arguments, positionals))
        return CommandFailed(*error + QStringLiteral(" (ore-server --help mostra as opções)"), 2);
    return std::nullopt;
}

namespace {

// One line typed on the terminal with its echo off.
std::optional<QString> AskHidden(const char* prompt)
{
    std::fprintf(stderr, "%s", prompt);
    std::fflush(stderr);
    termios saved{};
    const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    if (terminal)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fprintf(stderr, "\n");
    if (!read)
        return std::nullopt;
    return QString::fromStdString(line);
}

} // namespace

QString NewPassword(const QString& operatorCode, QString* error)
{
    QString password;
    if (qEnvironmentVariableIsSet("ORE_PASSWORD")) {
        password = qEnvironmentVariable("ORE_PASSWORD");
    } else if (isatty(STDIN_FILENO)) {
        const auto first = AskHidden(qPrintable(QStringLiteral("Senha de %1: ").arg(operatorCode)));
        const auto second = AskHidden("Repita a senha: ");
        if (!first || !second) {
            *error = QStringLiteral("a senha não foi digitada.");
            return {};
        }
        if (*first != *second) {
            *error = QStringLiteral("as duas senhas digitadas não são iguais.");
            return {};
        }
        password = *first;
    } else {
        *error = QStringLiteral("a senha vem da variável ORE_PASSWORD ou é digitada num terminal; nenhum dos dois aqui.");
        return {};
    }
    if (password.size() < 8) {
        *error = QStringLiteral("a senha deve ter pelo menos 8 caracteres.");
        return {};
    }
    if (password.compare(operatorCode.trimmed(), Qt::CaseInsensitive) == 0) {
        *error = QStringLiteral("a senha não pode ser o código do operador.");
        return {};
    }
    return password;
}
