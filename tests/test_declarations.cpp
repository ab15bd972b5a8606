// Every server method declared once and completely, and the store holding a read to reading.
#include "ServerFixture.h"

#include "Errors.h"
#include "MethodDeclaration.h"
#include "Variants.h"

#include <map>
#include <set>

using namespace Qt::StringLiterals;

namespace {

QVariant Nothing(TCall&) { return true; }

class Declarations : public ServerFixture {};
SERVER_BACKENDS(Declarations);

// What each method does to the store is spelled out here, apart from the declarations: a
// change declared as a read would run unjournalled, in a transaction that refuses it.
TEST_P(Declarations, EveryMethodIsCompleteAndTheChangesAreTheWrites)
{
    const std::set<QString> writes{
        u"CRV.rdmHost.Login"_s, u"CRV.rdmHost.Logout"_s, u"CRV.rdmHost.ConfSenha"_s, u"CRV.rdmHost.FimProcessamento"_s,
        u"ORE06400.rdmProcOrca.SetVdCustoFixo"_s,
        u"ORE00400.rdmAprovaOrca.SetEscolhaSalao"_s, u"ORE00400.rdmAprovaOrca.SetOpcao"_s, u"ORE00400.rdmAprovaOrca.SetSalao"_s,
        u"ORE00400.rdmAprovaOrca.SetAprovComercial"_s, u"ORE00400.rdmAprovaOrca.SetAprova"_s, u"ORE00400.rdmAprovaOrca.SetModPgto"_s,
        u"ORE00400.rdmAprovaOrca.SetEndCliente"_s, u"ORE00800.rdmFechaOrca.SetClieContratante"_s, u"ORE00800.rdmFechaOrca.FecharOrca"_s,
        u"ORE02900.rdmExecProc.FecharOrca"_s, u"ORE02900.rdmExecProc.ExecOrcaComposicao"_s, u"ORE02900.rdmExecProc.ExecOrcaComposicaoMat"_s,
        u"ORE02900.rdmExecProc.GeraReqOrcaEve"_s, u"ORE00105.rdmCliente.CadastraCliente"_s, u"ORE00406.rdmProposta.GravaProposta"_s,
        u"ORE09000.rdmContratante.GravaContratante"_s, u"ORE09000.rdmContratante.ExcluiContratante"_s,
        u"ORE06700.rdmProduto.VinculaProduto"_s, u"ORE06700.rdmProduto.CriaProduto"_s, u"CRV.rdmHost.DesbloqueiaOperador"_s,
    };
    std::set<QString> declaredWrites;
    for (const auto& [name, method] : objects->Methods()) {
        EXPECT_EQ(Faults(method), QStringList()) << name.toStdString();
        EXPECT_NE(method.kind, TMethodKind::Undeclared) << name.toStdString();
        EXPECT_FALSE(method.label.text.isEmpty()) << name.toStdString();
        if (method.writes())
            declaredWrites.insert(name);
        // A processing right is only ever asked of a change.
        if (method.rule.right) {
            EXPECT_TRUE(method.writes()) << name.toStdString();
        }
    }
    EXPECT_EQ(declaredWrites, writes);
}

// Every method says where its arguments name a branch (a branch argument, a quote's key, a
// packet's rows), so that the server holds it to the session's; the methods whose arguments name
// none are spelled out here, apart from the declarations.
TEST_P(Declarations, EveryMethodSaysWhereItsBranchIsOrNamesNone)
{
    const std::set<QString> branchless{
        u"CRV.rdmHost.Login"_s, u"CRV.rdmHost.Logout"_s, u"CRV.rdmHost.ConfSenha"_s, u"CRV.rdmHost.FimProcessamento"_s,
        u"CRV.rdmHost.DesbloqueiaOperador"_s, u"ORE06400.rdmProcOrca.GetOperControle"_s, u"ORE06400.rdmProcOrca.GetOperCadProd"_s,
        u"ORE00400.rdmAprovaOrca.GetOperadorAprov"_s, u"ORE00400.rdmAprovaOrca.GetSupervisor"_s, u"ORE00400.rdmAprovaOrca.GetVerifCargoOper"_s,
        u"ORE00400.rdmAprovaOrca.GetCliente"_s, u"ORE00400.rdmAprovaOrca.GetEndeClie"_s, u"ORE09000.rdmContratante.ListaClientes"_s,
        u"ORE06700.rdmProduto.ListaProdutos"_s, u"ORE06700.rdmProduto.CriaProduto"_s, u"ORE02900.rdmExecProc.getParamOrcaEve"_s,
    };
    std::set<QString> declaredBranchless;
    for (const auto& [name, method] : objects->Methods()) {
        const TMethodRule& r = method.rule;
        if (r.branchArg < 0 && r.quote.branch < 0 && r.quote.packet < 0)
            declaredBranchless.insert(name);
    }
    EXPECT_EQ(declaredBranchless, branchless);
}

// The branch matrix: a session of branch 0001 calls every method that names a branch with
// branch 0002 where the branch goes, and is refused before the method runs, in the journal too.
TEST_P(Declarations, ASessionOfOneBranchActsOnNoOtherBranch)
{
    const TDataPacket otherBranch(Layout("CDFILIAL s4, NRORCAEVENTO s10, NRSEQORCAEVE s2, IDMARCADO s1"),
                                  {{u"0001"_s, u"0000000101"_s, u"01"_s, u"N"_s}, {u"0002"_s, u"0000000101"_s, u"01"_s, u"S"_s}});
    int walked = 0;
    for (const auto& [name, method] : objects->Methods()) {
        const TMethodRule& r = method.rule;
        if (r.branchArg < 0 && r.quote.branch < 0 && r.quote.packet < 0)
            continue;
        QVariantList args(method.argumentCount, QString());
        for (int at : {r.branchArg, r.quote.branch})
            if (at >= 0)
                args[at] = u"0002"_s;
        if (r.quote.number >= 0)
            args[r.quote.number] = u"0000000101"_s;
        if (r.quote.sequence >= 0)
            args[r.quote.sequence] = u"01"_s;
        if (r.quote.packet >= 0)
            args[r.quote.packet] = Pack(otherBranch);
        if (r.operatorArg >= 0)
            args[r.operatorArg] = u"OPER1"_s;
        QVariant result;
        try {
            result = Call(method.object, method.method, args);
        } catch (const std::exception& e) {
            ADD_FAILURE() << name.toStdString() << ": " << e.what();
            continue;
        }
        EXPECT_EQ(FailOf(result), u"%1: a filial informada (0002) não é a da sessão (0001). Operação recusada."_s.arg(name)) << name.toStdString();
        EXPECT_EQ(Sql(u"SELECT NMOBJETO || '.' || NMMETODO || ' ' || IDRESULTADO FROM JORNAL ORDER BY NRJORNAL DESC"_s).toString(), name + u" refused"_s);
        ++walked;
    }
    EXPECT_GT(walked, 40);
}

// The rights table: every change a workflow reaches needs the workflow's right; an operator
// without any is refused each of them before it runs. Only the session's own changes need none.
TEST_P(Declarations, EveryChangeOfAWorkflowNeedsItsRight)
{
    const std::map<QString, QString> rights{
        {u"ORE06400.rdmProcOrca.SetVdCustoFixo"_s, u"APROVAR"_s},
        {u"ORE00400.rdmAprovaOrca.SetEscolhaSalao"_s, u"APROVAR"_s}, {u"ORE00400.rdmAprovaOrca.SetOpcao"_s, u"APROVAR"_s},
        {u"ORE00400.rdmAprovaOrca.SetSalao"_s, u"APROVAR"_s}, {u"ORE00400.rdmAprovaOrca.SetAprovComercial"_s, u"APROVAR"_s},
        {u"ORE00400.rdmAprovaOrca.SetAprova"_s, u"APROVAR"_s}, {u"ORE00400.rdmAprovaOrca.SetModPgto"_s, u"APROVAR"_s},
        {u"ORE00400.rdmAprovaOrca.SetEndCliente"_s, u"APROVAR"_s}, {u"ORE00800.rdmFechaOrca.SetClieContratante"_s, u"APROVAR FECHAR"_s},
        {u"ORE00800.rdmFechaOrca.FecharOrca"_s, u"FECHAR"_s}, {u"ORE02900.rdmExecProc.FecharOrca"_s, u"EXECUTAR"_s},
        {u"ORE02900.rdmExecProc.ExecOrcaComposicao"_s, u"EXECUTAR"_s}, {u"ORE02900.rdmExecProc.ExecOrcaComposicaoMat"_s, u"EXECUTAR"_s},
        {u"ORE02900.rdmExecProc.GeraReqOrcaEve"_s, u"EXECUTAR"_s}, {u"ORE00105.rdmCliente.CadastraCliente"_s, u"APROVAR FECHAR"_s},
        {u"ORE00406.rdmProposta.GravaProposta"_s, u"APROVAR"_s}, {u"ORE09000.rdmContratante.GravaContratante"_s, u"FECHAR"_s},
        {u"ORE09000.rdmContratante.ExcluiContratante"_s, u"FECHAR"_s}, {u"ORE06700.rdmProduto.VinculaProduto"_s, u"APROVAR FECHAR"_s},
        {u"ORE06700.rdmProduto.CriaProduto"_s, u"APROVAR FECHAR"_s},
    };
    const std::set<QString> sessionsOwn{u"CRV.rdmHost.Login"_s, u"CRV.rdmHost.Logout"_s, u"CRV.rdmHost.ConfSenha"_s,
                                        u"CRV.rdmHost.FimProcessamento"_s, u"CRV.rdmHost.DesbloqueiaOperador"_s};
    // OPER2 holds no right of his own; his branch's defaults are emptied.
    Exec(u"UPDATE PARAMORCA SET CDPROCHABLANORE = '', CDPROCHABAPRORE = '', CDPROCHABFECORE = '' WHERE CDFILIAL = '0002'"_s);
    ActAs(u"OPER2"_s, u"0002"_s);
    for (const auto& [name, method] : objects->Methods()) {
        if (!method.writes() || sessionsOwn.count(name))
            continue;
        EXPECT_EQ(method.rule.right ? QString::fromLatin1(method.rule.right) : QString(), rights.count(name) ? rights.at(name) : u"?"_s)
            << name.toStdString();
        QVariantList args(method.argumentCount, QString());
        if (method.rule.operatorArg >= 0)
            args[method.rule.operatorArg] = u"OPER2"_s;
        const QString refusal = FailOf(Call(method.object, method.method, args));
        EXPECT_TRUE(refusal.startsWith(u"O operador OPER2 não tem permissão para "_s)) << name.toStdString() << ": " << refusal.toStdString();
    }
}

TEST_P(Declarations, TheHistoryCallsACallByItsLabel)
{
    EXPECT_EQ(objects->LabelOf(u"ORE00400.rdmAprovaOrca"_s, u"SetAprova"_s, u"[]"_s), u"Aprovação"_s);
    EXPECT_EQ(objects->LabelOf(u"ORE02900.rdmExecProc"_s, u"FecharOrca"_s, uR"([{"$packet":{}},"OPER1",null,"P","0001"])"_s), u"Execução (produção)"_s);
    EXPECT_EQ(objects->LabelOf(u"ORE02900.rdmExecProc"_s, u"ExecOrcaComposicao"_s, uR"([{"$packet":{}},"OPER1",null,"M","0001"])"_s),
              u"Execução (materiais)"_s);
    // An entry of a method that is no longer declared keeps its name.
    EXPECT_EQ(objects->LabelOf(u"ORE00400.rdmAprovaOrca"_s, u"SetAntigo"_s, u"[]"_s), u"SetAntigo"_s);
}

// A declaration that lacks what the server must know is refused when it is made, with what it
// lacks: the server does not start with it.
TEST_P(Declarations, AnIncompleteDeclarationIsRefused)
{
    const auto declared = [](TMethodKind kind, const QString& label, int arguments, TMethodRule rule) {
        return TMethodDeclaration{u"TST.rdmTeste"_s, u"Metodo"_s, arguments, kind, label, std::move(rule), Nothing};
    };
    const struct {
        const char* what;
        TMethodDeclaration declaration;
        const char* fault;
    } cases[] = {
        {"no kind", declared(TMethodKind::Undeclared, u"Teste"_s, 1, {}), "lê ou altera"},
        {"no label", declared(TMethodKind::Write, u" "_s, 1, {}), "rótulo"},
        {"no body", {u"TST.rdmTeste"_s, u"Metodo"_s, 1, TMethodKind::Read, u"Teste"_s, {}, {}}, "corpo"},
        {"an operator it does not take", declared(TMethodKind::Write, u"Teste"_s, 2, {.operatorArg = 2}), "operador no argumento 3"},
        {"a quote it does not take", declared(TMethodKind::Write, u"Teste"_s, 2, {.quote = kQuoteFirst}), "sequência do orçamento"},
        {"a secret it does not take", declared(TMethodKind::Write, u"Teste"_s, 1, {.secret = {1}}), "segredo"},
        {"a password shown", declared(TMethodKind::Write, u"Teste"_s, 2, {.checksPassword = true}), "senha"},
        {"a read that records a password", declared(TMethodKind::Read, u"Teste"_s, 2, {.secret = {1}, .checksPassword = true}), "só lê"},
        {"an unknown right", declared(TMethodKind::Write, u"Teste"_s, 0, {.right = "APAGAR"}), "APAGAR"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            objects->Declare(c.declaration);
            ADD_FAILURE() << "declared";
        } catch (const std::logic_error& e) {
            EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QString::fromUtf8(c.fault))) << e.what();
        }
    }
    EXPECT_FALSE(objects->Methods().count(u"TST.rdmTeste.Metodo"_s));
    objects->Declare(declared(TMethodKind::Read, u"Teste"_s, 0, {}));
    EXPECT_THROW(objects->Declare(declared(TMethodKind::Read, u"Teste"_s, 0, {})), std::logic_error) << "a name declared twice";
}

// A read runs in a transaction that refuses writes on both stores, so a method declared as a
// read that writes fails loudly, keeps nothing and leaves the connection free for the next change.
TEST_P(Declarations, AWriteInsideAReadFailsAndKeepsNothing)
{
    const auto journalled = [this] { return Sql(u"SELECT COUNT(*) FROM JORNAL"_s).toInt(); };
    const int before = journalled();
    EXPECT_THROW(store->readTransaction([](QSqlDatabase& db) { ::Run(db, u"UPDATE ORCAEVENTO SET DSTITUORCEVE = 'x'"_s); }), EHostError);

    objects->Object(QLatin1String("TST.rdmTeste")).Read(u"Escreve"_s, 0, u"Teste"_s, {}, [](TCall& c) -> QVariant {
        ::Run(c.db, u"UPDATE ORCAEVENTO SET DSTITUORCEVE = 'x'"_s);
        return true;
    });
    EXPECT_THROW(Call(u"TST.rdmTeste"_s, u"Escreve"_s), std::exception);
    EXPECT_EQ(Sql(u"SELECT COUNT(*) FROM ORCAEVENTO WHERE DSTITUORCEVE = 'x'"_s).toInt(), 0);

    // The same thread's next change and a fixture's direct write both go through.
    store->transaction([](QSqlDatabase& db) { ::Run(db, u"UPDATE ORCAEVENTO SET DSTITUORCEVE = 'y' WHERE NRORCAEVENTO = '0000000101' AND NRSEQORCAEVE = '01'"_s); });
    Exec(u"UPDATE ORCAEVENTO SET DSTITUORCEVE = 'z' WHERE NRORCAEVENTO = '0000000201' AND NRSEQORCAEVE = '01'"_s);
    EXPECT_EQ(Sql(u"SELECT COUNT(*) FROM ORCAEVENTO WHERE DSTITUORCEVE IN ('y', 'z')"_s).toInt(), 2);
    EXPECT_EQ(journalled(), before);
}

} // namespace
