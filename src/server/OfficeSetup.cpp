// ore-server init: a new office's store, with its first branch and that branch's manager.
#include "Demo.h"
#include "Errors.h"
#include "ServerCommands.h"
#include "Store.h"

#include <cstdio>

int RunInit(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QList<QCommandLineOption> options{
        DbOption(),
        {QStringLiteral("branch"), QStringLiteral("código da filial (até 4 caracteres)"), QStringLiteral("CODIGO")},
        {QStringLiteral("branch-name"), QStringLiteral("nome da filial (até 30 caracteres)"), QStringLiteral("NOME")},
        {QStringLiteral("manager"), QStringLiteral("código do gerente, o primeiro operador (até 12 caracteres)"), QStringLiteral("CODIGO")},
        {QStringLiteral("manager-name"), QStringLiteral("nome do gerente (até 40 caracteres)"), QStringLiteral("NOME")},
    };
    if (const auto status = ReadCommandLine(
            parser, options, arguments,
            QStringLiteral("uso: ore-server init --db URL --branch CODIGO --branch-name NOME --manager CODIGO --manager-name NOME\n"
                           "  prepara um banco novo: o esquema, a filial com os parâmetros padrão e o seu gerente, com todos os\n"
                           "  direitos. A senha do gerente vem da variável ORE_PASSWORD ou é digitada duas vezes no terminal\n"
                           "  (pelo menos 8 caracteres, diferente do código). Termina com 0 quando pronto, 2 quando a linha de\n"
                           "  comando está errada ou o banco já tem filial, 1 quando o banco falha.\n")))
        return *status;
    const QString branch = parser.value(QStringLiteral("branch")).trimmed(), branchName = parser.value(QStringLiteral("branch-name")).trimmed();
    const QString manager = parser.value(QStringLiteral("manager")).trimmed(), managerName = parser.value(QStringLiteral("manager-name")).trimmed();
    if (branch.isEmpty() || branchName.isEmpty() || manager.isEmpty() || managerName.isEmpty())
        return CommandFailed(QStringLiteral("init precisa de --branch, --branch-name, --manager e --manager-name."), 2);
    if (const QString fault = OperatorFieldsFault({manager, managerName, {branch}}); !fault.isEmpty())
        return CommandFailed(fault, 2);
    if (branch.size() > 4 || branchName.size() > 30)
        return CommandFailed(QStringLiteral("a filial tem código de até 4 caracteres e nome de até 30."), 2);
    QString error;
    const QString password = NewPassword(manager, &error);
    if (password.isEmpty())
        return CommandFailed(error, 2);
    try {
        TStore store(StoreUrl(parser));
        store.migrate();
        store.transaction([&](QSqlDatabase& db) {
            const QStringList branches = Column(db, QStringLiteral("SELECT CDFILIAL FROM FILIAL ORDER BY CDFILIAL"));
            if (!branches.isEmpty())
                throw ERequestRefused(QStringLiteral("o banco %1 já tem filial (%2): init só prepara um banco novo.")
                                          .arg(store.displayUrl(), branches.join(QStringLiteral(", "))));
            InsertBranch(db, branch, branchName);
            // The manager's own salesperson record makes him a manager (job G) to the workflows,
            // with the whole discount to give.
            Run(db, QStringLiteral("INSERT INTO VENDEDOR (CDVENDEDOR, NMFANVEN, NMRAZSOCVEN, IDCARGOVEND, VRPEMAXDESVE) VALUES ('G01', ?, ?, 'G', 100)"),
                {managerName.left(50), managerName.left(50)});
            TNewOperator first{manager, managerName, {branch}};
            first.salesperson = QStringLiteral("G01");
            first.rights = QStringList{QStringLiteral("APROVAR"), QStringLiteral("FECHAR"), QStringLiteral("EXECUTAR")};
            first.mayRegisterProducts = true;
            AddOperator(db, first, password);
            JournalAdministration(db, QStringLiteral("init"), QStringLiteral("filial %1 (%2), gerente %3 (%4)").arg(branch, branchName, manager, managerName));
        });
        std::printf("Banco %s pronto: filial %s (%s), gerente %s (%s).\nPara atendê-lo: ore-server --db %s\n", qPrintable(store.displayUrl()),
                    qPrintable(branch), qPrintable(branchName), qPrintable(manager), qPrintable(managerName), qPrintable(store.displayUrl()));
    } catch (const ERequestRefused& e) {
        return CommandFailed(e.message(), 2);
    } catch (const EHostError& e) {
        return CommandFailed(e.message(), 1);
    }
    return 0;
}
