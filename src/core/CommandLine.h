#pragma once
// Command lines of ore-host and ore-server, read and explained in the system's language:
// Qt's parser reports in English, and its help has English headings.

#include <QCommandLineParser>
#include <QList>
#include <QString>

#include <optional>

// Parses `arguments` (the program's name first). Answers the error in Portuguese when the
// command line is wrong: an unknown option, an option without its value, or (unless
// `positionals` allows them) an argument that is no option.
std::optional<QString> ParseCommandLine(QCommandLineParser& parser, const QStringList& arguments, bool positionals = false);

// The options as help lines: "  --name VALOR  description", the names in one column.
QString OptionsHelp(const QList<QCommandLineOption>& options);

// Whether the arguments ask for help: --help, -h or help.
bool AsksForHelp(const QStringList& arguments);
