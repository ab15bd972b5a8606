// ore-server operator …: the office's operators, from the server's own command line.
#include "Errors.h"
#include "Journal.h"
#include "Password.h"
#include "ServerCommands.h"
#include "Sessions.h"
#include "Store.h"

#include <cstdio>
#include <functional>

#include <pwd.h>
#include <unistd.h>

namespace {

const QStringList kRights{QStringLiteral("APROVAR"), QStringLiteral("FECHAR"), QStringLiteral("EXECUTAR")};
// The screens whose rights an operator's row keeps, each in its column.
const QStringList kScreens{QStringLiteral("ORE00100"), QStringLiteral("ORE00400"), QStringLiteral("ORE00800")};


QStringList Listed(const QString& value) { return value.toUpper().split(QLatin1Char(','), Qt::SkipEmptyParts); }

QString ListFault(const QStringList& given, const QStringList& known, const char* what)
{
    for (const QString& item : given)
        if (!known.contains(item.trimmed()))
            return QStringLiteral("%1 desconhecido: %2 (conhecidos: %3).").arg(QString::fromUtf8(what), item, known.join(QStringLiteral(", ")));
    return {};
}

bool Exists(QSqlDatabase& db, const QString& operatorCode)
{
    return Scalar(db, QStringLiteral("SELECT COUNT(*) FROM OPERADOR WHERE CDOPERADOR = ?"), {operatorCode}).toInt() > 0;
}

void RequireOperator(QSqlDatabase& db, const QString& operatorCode)
{
    if (!Exists(db, operatorCode))
        throw ERequestRefused(QStringLiteral("o operador %1 não existe (ore-server operator list mostra os operadores).").arg(operatorCode));
}

// The operator's own rights row: the rights on each screen named, nothing on the others.
void SetRights(QSqlDatabase& db, const QString& operatorCode, const QStringList& rights, QStringList screens)
{
    Run(db, QStringLiteral("DELETE FROM OPERCONTROLE WHERE CDOPERADOR = ?"), {operatorCode});
    if (rights.isEmpty())
        return;   // the branch's defaults
    if (screens.isEmpty())
        screens = kScreens;
    const QString held = rights.join(QLatin1Char(' '));
    const auto on = [&](int screen) { return screens.contains(kScreens[screen]) ? held : QString(); };
    Run(db, QStringLiteral("INSERT INTO OPERCONTROLE (CDOPERADOR, CDPROCHABLANOPE, CDPROCHABAPROPE, CDPROCHABFECOPE) VALUES (?, ?, ?, ?)"),
        {operatorCode, on(0), on(1), on(2)});
}

// Runs `work` in one transaction of the store the command line names; the exit status.
int InStore(const QCommandLineParser& parser, const std::function<void(QSqlDatabase& db)>& work)
{
    try {
        TStore store(StoreUrl(parser));
        store.migrate();
        store.transaction(work);
    } catch (const ERequestRefused& e) {
        return CommandFailed(e.message(), 2);
    } catch (const EHostError& e) {
        return CommandFailed(e.message(), 1);
    }
    return 0;
}

QString Usage()
{
    return QStringLiteral(
        "uso: ore-server operator COMANDO [--db URL] …\n"
        "  os operadores do escritório; cada mudança vai ao jornal. A senha vem da variável ORE_PASSWORD ou\n"
        "  é digitada duas vezes no terminal (pelo menos 8 caracteres, diferente do código), nunca da linha\n"
        "  de comando.\n"
        "     add CODIGO --name NOME --branch FILIAL[,FILIAL…] [--salesperson VENDEDOR] [--job V|S|G]\n"
        "         [--supervisor VENDEDOR] [--rights APROVAR,FECHAR,EXECUTAR] [--screens ORE00100,ORE00400,ORE00800]\n"
        "         [--may-register-products]\n"
        "       um operador novo, com a sua senha; sem --rights, os direitos padrão da filial\n"
        "     passwd CODIGO            uma senha nova\n"
        "     rights CODIGO --rights APROVAR,… [--screens …]   os direitos próprios (--rights - : os da filial)\n"
        "     unlock CODIGO            retira o bloqueio de senhas do operador e dos endereços de onde vieram\n"
        "     disable CODIGO           o operador não entra mais, e as suas sessões acabam em todos os servidores\n"
        "     enable CODIGO            o operador volta a entrar\n"
        "     list                     os operadores, com filiais, vendedor, direitos e situação\n"
        "  Termina com 0 quando feito, 2 quando a linha de comando está errada ou o pedido é recusado, 1 quando\n"
        "  o banco falha.\n");
}

const QCommandLineOption kName{QStringLiteral("name"), QStringLiteral("nome do operador"), QStringLiteral("NOME")};
const QCommandLineOption kBranch{QStringLiteral("branch"), QStringLiteral("filiais do operador, separadas por vírgula"), QStringLiteral("FILIAIS")};
const QCommandLineOption kSalesperson{QStringLiteral("salesperson"), QStringLiteral("o seu vendedor (criado quando não existe)"), QStringLiteral("VENDEDOR")};
const QCommandLineOption kJob{QStringLiteral("job"), QStringLiteral("cargo do vendedor: V vendedor, S supervisor, G gerente"), QStringLiteral("CARGO")};
const QCommandLineOption kSupervisor{QStringLiteral("supervisor"), QStringLiteral("o vendedor supervisor do seu vendedor"), QStringLiteral("VENDEDOR")};
const QCommandLineOption kRightsOption{QStringLiteral("rights"), QStringLiteral("direitos: APROVAR, FECHAR, EXECUTAR, separados por vírgula"),
                                       QStringLiteral("DIREITOS")};
const QCommandLineOption kScreensOption{QStringLiteral("screens"), QStringLiteral("telas em que os direitos valem (padrão: as três)"), QStringLiteral("TELAS")};
const QCommandLineOption kMayRegister{QStringLiteral("may-register-products"), QStringLiteral("pode cadastrar produtos ao processar um orçamento")};

int Add(const QCommandLineParser& parser, const QString& code)
{
    TNewOperator op{code, parser.value(kName).trimmed(), Listed(parser.value(kBranch))};
    op.salesperson = parser.value(kSalesperson).trimmed().toUpper();
    op.job = parser.value(kJob).trimmed().toUpper();
    op.supervisor = parser.value(kSupervisor).trimmed().toUpper();
    op.rights = Listed(parser.value(kRightsOption));
    op.screens = Listed(parser.value(kScreensOption));
    op.mayRegisterProducts = parser.isSet(kMayRegister);
    if (const QString fault = OperatorFieldsFault(op); !fault.isEmpty())
        return CommandFailed(fault, 2);
    QString error;
    const QString password = NewPassword(code, &error);
    if (password.isEmpty())
        return CommandFailed(error, 2);
    return InStore(parser, [&](QSqlDatabase& db) {
        if (Exists(db, code))
            throw ERequestRefused(QStringLiteral("o operador %1 já existe.").arg(code));
        AddOperator(db, op, password);
        JournalAdministration(db, QStringLiteral("operator add"), QStringLiteral("operador %1 (%2), filiais %3%4")
                                                                    .arg(code, op.name, op.branches.join(QStringLiteral(", ")),
                                                                         op.rights.isEmpty() ? QString() : QStringLiteral(", direitos ") + op.rights.join(QLatin1Char(' '))));
        std::printf("Operador %s incluído.\n", qPrintable(code));
    });
}

int Passwd(const QCommandLineParser& parser, const QString& code)
{
    QString error;
    const QString password = NewPassword(code, &error);
    if (password.isEmpty())
        return CommandFailed(error, 2);
    return InStore(parser, [&](QSqlDatabase& db) {
        RequireOperator(db, code);
        const TPasswordHash hash = HashPassword(password);
        Run(db, QStringLiteral("UPDATE OPERADOR SET DSSENHAHASH = ?, DSSENHASAL = ? WHERE CDOPERADOR = ?"), {hash.hash, hash.salt, code});
        JournalAdministration(db, QStringLiteral("operator passwd"), QStringLiteral("senha nova de %1").arg(code));
        std::printf("Senha de %s trocada.\n", qPrintable(code));
    });
}

int Rights(const QCommandLineParser& parser, const QString& code)
{
    if (!parser.isSet(kRightsOption))
        return CommandFailed(QStringLiteral("rights precisa de --rights (- para os direitos padrão da filial)."), 2);
    const QStringList rights = parser.value(kRightsOption).trimmed() == QLatin1String("-") ? QStringList() : Listed(parser.value(kRightsOption));
    const QStringList screens = Listed(parser.value(kScreensOption));
    for (const QString& fault : {ListFault(rights, kRights, "direito"), ListFault(screens, kScreens, "tela")})
        if (!fault.isEmpty())
            return CommandFailed(fault, 2);
    return InStore(parser, [&](QSqlDatabase& db) {
        RequireOperator(db, code);
        SetRights(db, code, rights, screens);
        const QString note = rights.isEmpty() ? QStringLiteral("%1 com os direitos padrão da filial").arg(code)
                                              : QStringLiteral("direitos de %1: %2 (%3)").arg(code, rights.join(QLatin1Char(' ')),
                                                                                                (screens.isEmpty() ? kScreens : screens).join(QStringLiteral(", ")));
        JournalAdministration(db, QStringLiteral("operator rights"), note);
        std::printf("%s.\n", qPrintable(note.left(1).toUpper() + note.mid(1)));
    });
}

int Unlock(const QCommandLineParser& parser, const QString& code)
{
    return InStore(parser, [&](QSqlDatabase& db) {
        RequireOperator(db, code);
        const bool lifted = Sessions::Unlock(db, code);
        JournalAdministration(db, QStringLiteral("operator unlock"), lifted ? QStringLiteral("bloqueio de %1 retirado").arg(code)
                                                                            : QStringLiteral("%1 não estava bloqueado").arg(code));
        std::printf(lifted ? "Bloqueio de %s retirado.\n" : "%s não estava bloqueado.\n", qPrintable(code));
    });
}

int SetActive(const QCommandLineParser& parser, const QString& code, bool active)
{
    return InStore(parser, [&](QSqlDatabase& db) {
        RequireOperator(db, code);
        Run(db, QStringLiteral("UPDATE OPERADOR SET IDATIVO = ? WHERE CDOPERADOR = ?"), {active ? QStringLiteral("S") : QStringLiteral("N"), code});
        int ended = 0;
        if (!active)   // every server hears of each session ended (the store notifies them)
            ended = Run(db, QStringLiteral("DELETE FROM SESSAO WHERE CDOPERADOR = ?"), {code}).numRowsAffected();
        JournalAdministration(db, active ? QStringLiteral("operator enable") : QStringLiteral("operator disable"),
                              active ? QStringLiteral("%1 ativado").arg(code) : QStringLiteral("%1 desativado, %2 sessão(ões) encerrada(s)").arg(code).arg(ended));
        if (active)
            std::printf("Operador %s ativado.\n", qPrintable(code));
        else
            std::printf("Operador %s desativado; %d sessão(ões) encerrada(s).\n", qPrintable(code), ended);
    });
}

int List(const QCommandLineParser& parser)
{
    return InStore(parser, [&](QSqlDatabase& db) {
        const QDateTime now = QDateTime::currentDateTime();
        TRows rows = Run(db, QStringLiteral("SELECT O.CDOPERADOR, O.NMOPERADOR, O.CDVENDEDOR, V.IDCARGOVEND, O.IDATIVO, C.CDOPERADOR, C.CDPROCHABLANOPE, "
                                            "C.CDPROCHABAPROPE, C.CDPROCHABFECOPE, T.DTBLOQUEIO FROM OPERADOR O LEFT JOIN VENDEDOR V ON V.CDVENDEDOR = O.CDVENDEDOR "
                                            "LEFT JOIN OPERCONTROLE C ON C.CDOPERADOR = O.CDOPERADOR LEFT JOIN TENTATIVASENHA T ON T.CDOPERADOR = O.CDOPERADOR "
                                            "ORDER BY O.CDOPERADOR"));
        const auto line = [](const QStringList& cells) {
            const int widths[] = {12, 30, 10, 8, 5, 72};
            QString text;
            for (int i = 0; i < cells.size(); ++i)
                text += i < int(std::size(widths)) ? cells[i].left(widths[i]).leftJustified(widths[i] + 2) : cells[i];
            std::printf("%s\n", qPrintable(text.trimmed()));
        };
        line({QStringLiteral("OPERADOR"), QStringLiteral("NOME"), QStringLiteral("FILIAIS"), QStringLiteral("VENDEDOR"), QStringLiteral("CARGO"),
              QStringLiteral("DIREITOS (ORE00100 / ORE00400 / ORE00800)"), QStringLiteral("SITUAÇÃO")});
        while (rows.next()) {
            const QString code = rows.value(0).toString();
            const QString branches = Column(db, QStringLiteral("SELECT CDFILIAL FROM OPERADORFILIAL WHERE CDOPERADOR = ? ORDER BY CDFILIAL"), {code})
                                         .join(QLatin1Char(','));
            const auto held = [&](int column) { return rows.value(column).toString().isEmpty() ? QStringLiteral("-") : rows.value(column).toString(); };
            const QString rights = rows.isNull(5) ? QStringLiteral("os da filial") : QStringList{held(6), held(7), held(8)}.join(QStringLiteral(" / "));
            const QDateTime lock = ParseStamp(rows.value(9).toString());
            const QString state = rows.value(4).toString() == QLatin1String("N") ? QStringLiteral("desativado")
                                  : lock.isValid() && lock > now  ? QStringLiteral("bloqueado até %1").arg(lock.toString(QStringLiteral("dd/MM/yyyy HH:mm")))
                                                                  : QStringLiteral("ativo");
            line({code, rows.value(1).toString(), branches, rows.value(2).toString(), rows.value(3).toString(), rights, state});
        }
    });
}

} // namespace

QString OperatorFieldsFault(const TNewOperator& op)
{
    if (op.code.isEmpty() || op.code.size() > 12 || op.code.contains(QLatin1Char(' ')))
        return QStringLiteral("o código do operador tem de 1 a 12 caracteres, sem espaços (recebido \"%1\").").arg(op.code);
    if (op.name.isEmpty() || op.name.size() > 40)
        return QStringLiteral("o nome do operador tem de 1 a 40 caracteres (--name).");
    if (op.branches.isEmpty())
        return QStringLiteral("o operador precisa de ao menos uma filial (--branch).");
    if (op.salesperson.size() > 4 || op.supervisor.size() > 4)
        return QStringLiteral("o código de um vendedor tem até 4 caracteres.");
    if (!op.job.isEmpty() && !QStringList{QStringLiteral("V"), QStringLiteral("S"), QStringLiteral("G")}.contains(op.job))
        return QStringLiteral("o cargo é V (vendedor), S (supervisor) ou G (gerente); recebido \"%1\".").arg(op.job);
    if ((!op.job.isEmpty() || !op.supervisor.isEmpty()) && op.salesperson.isEmpty())
        return QStringLiteral("--job e --supervisor são do vendedor do operador: informe também --salesperson.");
    for (const QString& fault : {ListFault(op.rights, kRights, "direito"), ListFault(op.screens, kScreens, "tela")})
        if (!fault.isEmpty())
            return fault;
    return {};
}

void AddOperator(QSqlDatabase& db, const TNewOperator& op, const QString& password)
{
    for (const QString& branch : op.branches)
        if (Scalar(db, QStringLiteral("SELECT COUNT(*) FROM FILIAL WHERE CDFILIAL = ?"), {branch}).toInt() == 0)
            throw ERequestRefused(QStringLiteral("a filial %1 não existe.").arg(branch));
    if (!op.supervisor.isEmpty() && Scalar(db, QStringLiteral("SELECT COUNT(*) FROM VENDEDOR WHERE CDVENDEDOR = ?"), {op.supervisor}).toInt() == 0)
        throw ERequestRefused(QStringLiteral("o vendedor supervisor %1 não existe.").arg(op.supervisor));
    if (!op.salesperson.isEmpty()) {
        if (Scalar(db, QStringLiteral("SELECT COUNT(*) FROM VENDEDOR WHERE CDVENDEDOR = ?"), {op.salesperson}).toInt() == 0)
            Run(db, QStringLiteral("INSERT INTO VENDEDOR (CDVENDEDOR, NMFANVEN, NMRAZSOCVEN, IDCARGOVEND, CDVENDEDORSUP) VALUES (?, ?, ?, ?, ?)"),
                {op.salesperson, op.name.left(50), op.name.left(50), op.job.isEmpty() ? QStringLiteral("V") : op.job,
                 op.supervisor.isEmpty() ? QVariant() : QVariant(op.supervisor)});
        else if (!op.job.isEmpty() || !op.supervisor.isEmpty())
            Run(db, QStringLiteral("UPDATE VENDEDOR SET IDCARGOVEND = COALESCE(?, IDCARGOVEND), CDVENDEDORSUP = COALESCE(?, CDVENDEDORSUP) WHERE CDVENDEDOR = ?"),
                {op.job.isEmpty() ? QVariant() : QVariant(op.job), op.supervisor.isEmpty() ? QVariant() : QVariant(op.supervisor), op.salesperson});
    }
    const TPasswordHash hash = HashPassword(password);
    Run(db, QStringLiteral("INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, DSSENHAHASH, DSSENHASAL, CDVENDEDOR, IDCADPRPROCEORE) VALUES (?, ?, ?, ?, ?, ?)"),
        {op.code, op.name, hash.hash, hash.salt, op.salesperson.isEmpty() ? QVariant() : QVariant(op.salesperson),
         op.mayRegisterProducts ? QStringLiteral("S") : QStringLiteral("N")});
    for (const QString& branch : op.branches)
        Run(db, QStringLiteral("INSERT INTO OPERADORFILIAL (CDOPERADOR, CDFILIAL) VALUES (?, ?)"), {op.code, branch});
    SetRights(db, op.code, op.rights, op.screens);
}

void JournalAdministration(QSqlDatabase& db, const QString& command, const QString& note)
{
    const passwd* account = getpwuid(getuid());
    const QString user = account ? QString::fromLocal8Bit(account->pw_name) : QString::number(getuid());
    TJournalEntry entry{QDateTime::currentDateTime(), QStringLiteral("(administração)"), {}, QStringLiteral("ore-server"), command};
    entry.outcome = QStringLiteral("ok");
    entry.message = note;
    entry.peer = QStringLiteral("console:") + user;
    Journal::Append(db, entry);
}

QStringList Column(QSqlDatabase& db, const QString& sql, const QVariantList& params)
{
    QStringList values;
    TRows rows = Run(db, sql, params);
    while (rows.next())
        values << rows.value(0).toString();
    return values;
}

int RunOperator(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QList<QCommandLineOption> options{DbOption(), kName, kBranch, kSalesperson, kJob, kSupervisor, kRightsOption, kScreensOption, kMayRegister};
    if (const auto status = ReadCommandLine(parser, options, arguments, Usage(), true))
        return *status;
    const QStringList words = parser.positionalArguments();
    const QString command = words.value(0), code = words.value(1).trimmed();
    if (command == QLatin1String("list"))
        return words.size() == 1 ? List(parser) : CommandFailed(QStringLiteral("list não leva código."), 2);
    if (words.size() != 2 || code.isEmpty())
        return CommandFailed(QStringLiteral("uso: ore-server operator add|passwd|rights|unlock|disable|enable CODIGO … (ore-server operator --help)"), 2);
    const std::pair<const char*, std::function<int()>> commands[] = {
        {"add", [&] { return Add(parser, code); }},           {"passwd", [&] { return Passwd(parser, code); }},
        {"rights", [&] { return Rights(parser, code); }},     {"unlock", [&] { return Unlock(parser, code); }},
        {"disable", [&] { return SetActive(parser, code, false); }}, {"enable", [&] { return SetActive(parser, code, true); }},
    };
    for (const auto& [name, run] : commands)
        if (command == QLatin1String(name))
            return run();
    return CommandFailed(QStringLiteral("comando de operador desconhecido: \"%1\" (ore-server operator --help)").arg(command), 2);
}
