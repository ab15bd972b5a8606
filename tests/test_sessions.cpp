// Who may call ore-server: sessions, the acting operator, rights, a supervisor's word, the
// lock after failed passwords, and the journal of all of it, on SQLite and PostgreSQL.
#include "ServerFixture.h"
#include "TestSupport.h"

#include "ClientDataSet.h"
#include "Errors.h"
#include "NetConnection.h"
#include "ServerSession.h"
#include "SessionCache.h"
#include "Variants.h"
#include "Wire.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

// Whether `condition` holds within a few seconds.
template <class Condition>
bool Eventually(Condition condition)
{
    QElapsedTimer waited;
    waited.start();
    while (!condition()) {
        if (waited.elapsed() > 5000)
            return false;
        QThread::msleep(20);
    }
    return true;
}

const QString kProc = QStringLiteral("ORE06400.rdmProcOrca");
const QString kAprova = QStringLiteral("ORE00400.rdmAprovaOrca");
const QString kFecha = QStringLiteral("ORE00800.rdmFechaOrca");
const QString kHost = QStringLiteral("CRV.rdmHost");

class Sessions : public ServerFixture {
protected:
    // The server's clock, moved by the tests.
    void SetClockAhead(qint64 seconds)
    {
        objects->SetClockAhead(seconds);
    }


    // The newest journal entry of a method: "operator branch outcome quote".
    QString Journalled(const char* method)
    {
        return Sql("SELECT COALESCE(CDOPERADOR, '-') || ' ' || COALESCE(CDFILIAL, '-') || ' ' || IDRESULTADO || ' ' || "
                   "COALESCE(CDFILIALORCA || '/' || NRORCAEVENTO || '/' || NRSEQORCAEVE, '-') FROM JORNAL WHERE NMMETODO = ? ORDER BY NRJORNAL DESC",
                   {QString::fromLatin1(method)})
            .toString();
    }

    QString Situation(const char* number)
    {
        return Sql("SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE NRORCAEVENTO = ? AND NRSEQORCAEVE = '01'", {QString::fromLatin1(number)}).toString();
    }

    // SetAprova's 14 arguments, with the acting operator named in the 4th.
    static QVariantList Approval(const char* number, const char* operatorCode)
    {
        return {QString::fromLatin1(number), "01", "0001", QString::fromLatin1(operatorCode), "Av. Boa Viagem, 1000", "1058", "PE", "2611", "0000000001",
                "", "T", "J11222333000181", "", ""};
    }
    static QVariantList Key(const char* number) { return {"0001", QString::fromLatin1(number), "01"}; }

    // The closing packet of an approved quote, its row marked.
    QVariant ClosingPacket(const char* number)
    {
        const QString n = QString::fromLatin1(number);
        TClientDataSet ds;
        ds.SetData(VarElement(Call(kFecha, "GetOrcaEvento", {"0001", n, n, 0, 0, 0, 0, "", "", "", "", "", "", "2", "", "", ""}), 0, QStringLiteral("teste")));
        ds.Edit();
        ds.FieldByName("IDMARCADO")->SetAsString("S");
        ds.Post();
        return ds.DataVariant();
    }
};
SERVER_BACKENDS(Sessions);

TEST_P(Sessions, ACallNeedsALiveSessionWhoseHeadersAgree)
{
    const QString own = QStringLiteral("Sessão inválida ou expirada. Entre novamente.");

    // No session at all.
    Session().token.clear();
    EXPECT_TRUE(TransportErrorOf(kProc, "GetOperControle", {"OPER1"}).endsWith("HTTP 401: " + own));
    objects->JournalRefusals(true);   // counted per address and minute, journalled once the minute is over
    EXPECT_EQ(Journalled("GetOperControle"), "- - refused -");
    // Nor does a caller without one learn which methods exist.
    EXPECT_TRUE(TransportErrorOf(kProc, "GetNada", {}).endsWith("HTTP 401: " + own));
    EXPECT_TRUE(TransportErrorOf(kProc, "GetOperControle", {}).endsWith("HTTP 401: " + own));
    EXPECT_TRUE(TransportErrorOf(u"ORE99999.rdmNada"_s, "GetGeral", {}).endsWith("HTTP 401: " + own));

    // A token the server never gave.
    Session().token = QStringLiteral("00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff");
    EXPECT_TRUE(TransportErrorOf(kProc, "GetOperControle", {"OPER1"}).endsWith("HTTP 401: " + own));

    // A live session, then the same one idle for longer than the limit.
    ActAs("OPER1");
    EXPECT_NO_THROW(Call(kProc, "GetOperControle", {"OPER1"}));
    SetClockAhead(qint64(objects->Policy().idleMinutes) * 60 - 120);
    EXPECT_NO_THROW(Call(kProc, "GetOperControle", {"OPER1"}));   // within the limit, and used again
    SetClockAhead(2 * qint64(objects->Policy().idleMinutes) * 60);
    EXPECT_TRUE(TransportErrorOf(kProc, "GetOperControle", {"OPER1"}).endsWith("HTTP 401: " + own));
    LoginToServer(QStringLiteral("OPER1"), QStringLiteral("oper1"), QStringLiteral("0001"));
    EXPECT_EQ(Sql("SELECT COUNT(*) FROM SESSAO WHERE CDOPERADOR = 'OPER1'").toInt(), 1) << "a login removes the expired sessions";
    objects->SetClockAhead(0);

    // Headers that name another operator or branch than the session's.
    ActAs("OPER1");
    Session().operador = QStringLiteral("GER1");
    EXPECT_TRUE(TransportErrorOf(kProc, "GetOperControle", {"OPER1"}).contains("HTTP 403: Os cabeçalhos X-Operator/X-Branch (GER1/0001) não são os da sessão."));
    EXPECT_EQ(Journalled("GetOperControle"), "OPER1 0001 refused -");
    Session().operador = QStringLiteral("OPER1");
    Session().filiProc = QStringLiteral("0002");
    EXPECT_TRUE(TransportErrorOf(kProc, "GetOperControle", {"OPER1"}).contains("HTTP 403"));
    Session().filiProc = QStringLiteral("0001");

    // Logout ends the session.
    EXPECT_TRUE(Call(kHost, "Logout").toBool());
    EXPECT_EQ(Journalled("Logout"), "OPER1 0001 ok -");
    EXPECT_TRUE(TransportErrorOf(kProc, "GetOperControle", {"OPER1"}).endsWith("HTTP 401: " + own));
}

TEST_P(Sessions, TheActingOperatorIsTheSessionsAndNeedsTheRight)
{
    // Approving in another operator's name.
    EXPECT_EQ(FailOf(Call(kAprova, "SetAprova", Approval("0000000102", "GER1"))),
              "ORE00400.rdmAprovaOrca.SetAprova: o operador informado (GER1) não é o da sessão (OPER1). Operação recusada.");
    EXPECT_EQ(Situation("0000000102"), "1");
    EXPECT_EQ(Journalled("SetAprova"), "OPER1 0001 refused 0001/0000000102/01");
    EXPECT_EQ(FailOf(Call(kProc, "GetOperControle", {"OPER2"})),
              "ORE06400.rdmProcOrca.GetOperControle: o operador informado (OPER2) não é o da sessão (OPER1). Operação recusada.");

    // OPER2 reads his rights from the branch's defaults; with a row of his own that lacks
    // "FECHAR" he may not close.
    Exec("INSERT INTO OPERCONTROLE (CDOPERADOR, CDPROCHABLANOPE, CDPROCHABAPROPE, CDPROCHABFECOPE) VALUES ('OPER2', 'APROVAR', 'APROVAR', 'EXECUTAR')");
    ActAs("OPER2");
    const QVariant packet = ClosingPacket("0000000201");
    EXPECT_EQ(FailOf(Call(kFecha, "FecharOrca", {packet, "OPER2", Null()})), "O operador OPER2 não tem permissão para fechar orçamentos. Operação recusada.");
    EXPECT_EQ(Situation("0000000201"), "2");
    EXPECT_EQ(Journalled("FecharOrca"), "OPER2 0001 refused 0001/0000000201/01");

    // With the right, the closing is made and journalled in its name.
    Exec("UPDATE OPERCONTROLE SET CDPROCHABFECOPE = 'FECHAR' WHERE CDOPERADOR = 'OPER2'");
    EXPECT_TRUE(Call(kFecha, "FecharOrca", {packet, "OPER2", Null()}).toBool());
    EXPECT_EQ(Situation("0000000201"), "3");
    EXPECT_EQ(Journalled("FecharOrca"), "OPER2 0001 ok 0001/0000000201/01");
    const QString arguments = Sql("SELECT DSARGUMENTOS FROM JORNAL WHERE NMMETODO = 'FecharOrca' AND IDRESULTADO = 'ok'").toString();
    EXPECT_TRUE(arguments.contains("\"OPER2\"")) << arguments.toStdString();
}

TEST_P(Sessions, ADiscountAboveTheCeilingNeedsARecentSupervisorsWord)
{
    // 0000000103 is above its salesperson's ceiling; OPER1 is a plain salesperson.
    EXPECT_TRUE(FailOf(Call(kAprova, "SetAprova", Approval("0000000103", "OPER1"))).startsWith("O desconto do orçamento 0001/0000000103/01 está acima do permitido"));

    // A plain salesperson's password is no supervisor's word.
    EXPECT_TRUE(Call(kHost, "ConfSenha", {"OPER2", "oper2"}).toBool());
    EXPECT_FALSE(FailOf(Call(kAprova, "SetAprova", Approval("0000000103", "OPER1"))).isEmpty());

    // The supervisor's word, too old by the time the approval comes: the branch's time is an
    // hour unless it sets another.
    EXPECT_TRUE(Call(kHost, "ConfSenha", {"SUP1", "sup1"}).toBool());
    EXPECT_EQ(Journalled("ConfSenha"), "OPER1 0001 ok -");
    SetClockAhead(61 * 60);
    EXPECT_FALSE(FailOf(Call(kAprova, "SetAprova", Approval("0000000103", "OPER1"))).isEmpty());
    EXPECT_EQ(Situation("0000000103"), "1");

    // A fresh word lets the approval through.
    EXPECT_TRUE(Call(kHost, "ConfSenha", {"SUP1", "sup1"}).toBool());
    EXPECT_EQ(FailOf(Call(kAprova, "SetAprova", Approval("0000000103", "OPER1"))), "");
    EXPECT_EQ(Situation("0000000103"), "2");

    // A manager acting for himself needs no one's word.
    Exec("UPDATE ORCAEVENTO SET VRDESCORCEVE = 5000 WHERE NRORCAEVENTO = '0000000102'");
    ActAs("GER1");
    EXPECT_EQ(FailOf(Call(kAprova, "SetAprova", Approval("0000000102", "GER1"))), "");
    EXPECT_EQ(Situation("0000000102"), "2");
}

// A supervisor's word serves the approval of the quote it was given for, once: it outlives a
// slow step of that approval, but no other quote may use it, and it ends with the approval or
// with the processing that asked for it.
TEST_P(Sessions, ASupervisorsWordServesOneApprovalOfOneQuote)
{
    Exec("UPDATE ORCAEVENTO SET VRDESCORCEVE = 5000 WHERE NRORCAEVENTO = '0000000102'");   // above the ceiling, as 103 is

    // Given, then twenty minutes on the registration screen: the approval goes through.
    EXPECT_TRUE(Call(kHost, "ConfSenha", {"SUP1", "sup1"}).toBool());
    SetClockAhead(20 * 60);
    EXPECT_EQ(FailOf(Call(kAprova, "SetAprova", Approval("0000000103", "OPER1"))), "");
    // Used: the next quote needs a word of its own.
    EXPECT_FALSE(FailOf(Call(kAprova, "SetAprova", Approval("0000000102", "OPER1"))).isEmpty());
    EXPECT_EQ(Situation("0000000102"), "1");

    // A word that went to one quote's commercial approval is not another quote's.
    const QVariantList commercial = Key("0000000101") << QDate::currentDate() << "V01";
    EXPECT_TRUE(Call(kHost, "ConfSenha", {"SUP1", "sup1"}).toBool());
    EXPECT_EQ(FailOf(Call(kAprova, "SetAprovComercial", commercial)), "");
    EXPECT_FALSE(FailOf(Call(kAprova, "SetAprova", Approval("0000000102", "OPER1"))).isEmpty());

    // The processing that asked for a word has ended: the word goes with it.
    EXPECT_TRUE(Call(kHost, "ConfSenha", {"SUP1", "sup1"}).toBool());
    EXPECT_TRUE(Call(kHost, "FimProcessamento", {}).toBool());
    EXPECT_FALSE(FailOf(Call(kAprova, "SetAprovComercial", commercial)).isEmpty());
    EXPECT_EQ(Situation("0000000102"), "1");
}

// The approval's recording is held to the discount as the approval measured it, over every
// option before the operator dropped those not kept: 90 is 8.9% of the whole quote, within the
// ceiling of 10%, though 20% of the option kept.
TEST_P(Sessions, TheApprovalIsHeldToTheDiscountMeasuredBeforeItsOptionsWereDropped)
{
    Exec("UPDATE ORCAEVENTO SET VRDESCORCEVE = 90 WHERE NRORCAEVENTO = '0000000102'");
    EXPECT_EQ(FailOf(Call(kAprova, "SetOpcao", Key("0000000102") << "'01'" << 10 << "A")), "");
    EXPECT_EQ(Sql("SELECT COUNT(*) FROM ITEMORCA WHERE NRORCAEVENTO = '0000000102'").toInt(), 1);
    EXPECT_EQ(FailOf(Call(kAprova, "SetAprova", Approval("0000000102", "OPER1"))), "");
    EXPECT_EQ(Situation("0000000102"), "2");

    // Without options dropped, the items as they are: 103's discount is above its ceiling.
    EXPECT_FALSE(FailOf(Call(kAprova, "SetAprova", Approval("0000000103", "OPER1"))).isEmpty());
    // An operator with no job is held to it as a plain salesperson is, as the workflow holds him.
    Exec("UPDATE OPERADOR SET CDVENDEDOR = NULL WHERE CDOPERADOR = 'OPER1'");
    EXPECT_TRUE(FailOf(Call(kAprova, "SetAprova", Approval("0000000103", "OPER1"))).startsWith("O desconto do orçamento 0001/0000000103/01"));
}

TEST_P(Sessions, APlainSalespersonsCommercialApprovalNeedsASupervisorsWord)
{
    const QVariantList commercial = Key("0000000101") << QDate::currentDate() << "V01";
    EXPECT_TRUE(FailOf(Call(kAprova, "SetAprovComercial", commercial)).startsWith("A aprovação comercial do orçamento 0001/0000000101/01 precisa da senha"));
    EXPECT_EQ(Journalled("SetAprovComercial"), "OPER1 0001 refused 0001/0000000101/01");
    // In another salesperson's name, even with a word.
    EXPECT_TRUE(Call(kHost, "ConfSenha", {"SUP1", "sup1"}).toBool());
    EXPECT_TRUE(FailOf(Call(kAprova, "SetAprovComercial", Key("0000000101") << QDate::currentDate() << "S01")).contains("o vendedor informado (S01)"));
    Exec("UPDATE PARAMORCA SET QTMINAUTSUPORE = 15");
    SetClockAhead(16 * 60);
    EXPECT_FALSE(FailOf(Call(kAprova, "SetAprovComercial", commercial)).isEmpty());
    objects->SetClockAhead(0);
    EXPECT_EQ(FailOf(Call(kAprova, "SetAprovComercial", commercial)), "");
    EXPECT_EQ(Journalled("SetAprovComercial"), "OPER1 0001 ok 0001/0000000101/01");

    // A manager gives it in his own name without anyone's word.
    ActAs("GER1");
    EXPECT_EQ(FailOf(Call(kAprova, "SetAprovComercial", Key("0000000102") << QDate::currentDate() << "G01")), "");
}

// Guessing a password through a text the store cannot keep: refused at decoding, for every
// method, before any password is checked, with the same words whatever the password.
TEST_P(Sessions, ATextTheStoreCannotKeepIsRefusedBeforeAnythingRuns)
{
    const QString nul = QStringLiteral("0001") + QChar(0);
    QStringList answers;
    for (const char* guess : {"errada", "ger1"}) {
        try {
            LoginToServer(QStringLiteral("GER1"), QString::fromLatin1(guess), nul);
            answers << QStringLiteral("entrou");
        } catch (const EHostError& e) {
            answers << e.message();
        }
    }
    EXPECT_EQ(answers.value(0), answers.value(1));
    EXPECT_TRUE(answers.value(0).contains("O argumento 3 traz um caractere que não pode ser guardado")) << answers.value(0).toStdString();
    EXPECT_EQ(Sql("SELECT COUNT(*) FROM SESSAO WHERE CDOPERADOR = 'GER1'").toInt(), 0);
    const auto refusal = [&](const QVariantList& args) {
        try {
            Call(kAprova, "GetGeral", args);
            return QString();
        } catch (const EHostError& e) {
            return e.message();
        }
    };
    EXPECT_TRUE(refusal({"0001", QStringLiteral("0000000101") + QChar(0), "01"}).contains("argumento 2"));
}

// A failed password check is counted in a transaction of its own: a call that fails after it
// does not take the count back. The caller never reads the database's own words.
TEST_P(Sessions, APasswordCheckStaysCountedWhenItsCallFailsAfterwards)
{
    // Every journal entry of a login fails from here on.
    if (store->dialect() == TStore::SQLite) {
        Exec("CREATE TRIGGER JORNAL_FALHA BEFORE INSERT ON JORNAL WHEN NEW.NMMETODO = 'Login' BEGIN SELECT RAISE(ABORT, 'jornal recusado'); END");
    } else {
        Exec("CREATE FUNCTION JORNAL_FALHA() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION 'jornal recusado'; END $$");
        Exec("CREATE TRIGGER JORNAL_FALHA BEFORE INSERT ON JORNAL FOR EACH ROW WHEN (NEW.NMMETODO = 'Login') EXECUTE FUNCTION JORNAL_FALHA()");
    }
    for (int i = 0; i < 5; ++i) {
        SetClockAhead(i * 30);   // past the address's wait, so that each check is judged
        try {
            LoginToServer(QStringLiteral("SUP1"), QStringLiteral("errada"), QStringLiteral("0001"));
            ADD_FAILURE() << "logged in";
        } catch (const EHostError& e) {
            EXPECT_TRUE(e.message().contains(QRegularExpression(QStringLiteral("Erro interno do servidor \\(registro \\d+\\)$")))) << e.message().toStdString();
            EXPECT_FALSE(e.message().contains("jornal recusado") || e.message().contains("JORNAL") || e.message().contains("INSERT")) << e.message().toStdString();
        }
    }
    EXPECT_EQ(Sql("SELECT QTFALHAS FROM TENTATIVASENHA WHERE CDOPERADOR = 'SUP1'").toInt(), 5);
    EXPECT_EQ(Sql("SELECT QTFALHAS FROM TENTATIVAORIGEM WHERE DSORIGEM = '127.0.0.1'").toInt(), 5);
    EXPECT_FALSE(Sql("SELECT DTBLOQUEIO FROM TENTATIVAORIGEM WHERE DSORIGEM = '127.0.0.1'").isNull()) << "the address is locked";
}

// A session in use is never taken for idle, however short the idle limit.
TEST_P(Sessions, ASessionInUseOutlivesAShortIdleLimit)
{
    TServerObjects shortIdle(*store, TSessionPolicy{.idleMinutes = 1});
    RegisterAll(shortIdle);
    const QString token = OpenSession("OPER1");
    const auto read = [&] { return shortIdle.Dispatch({"ORE06400.rdmProcOrca", "GetOperControle", {"OPER1"}, {}, {}, token}); };
    for (int seconds = 40; seconds <= 200; seconds += 40) {
        shortIdle.SetClockAhead(seconds);
        const TRpcReply reply = read();
        EXPECT_FALSE(reply.isError) << seconds << " s: " << reply.errorMessage.toStdString();
    }
    shortIdle.SetClockAhead(200 + 61);   // then idle past the limit
    EXPECT_EQ(read().httpStatus, 401);
}

// Failures from one address slow it and then lock it, even with the right password; the
// operator himself is not locked: from another address he logs in.
TEST_P(Sessions, FailedPasswordsFromOneAddressSlowItAndLockIt)
{
    auto login = [&](const char* password, const char* operatorCode = "SUP1") {
        try {
            LoginToServer(QString::fromLatin1(operatorCode), QString::fromLatin1(password), QStringLiteral("0001"));
            return QStringLiteral("ok");
        } catch (const EHostError& e) {
            return e.message();
        }
    };
    qint64 ahead = 0;
    const auto later = [&](qint64 seconds) { SetClockAhead(ahead += seconds); };
    const QString wrong = QStringLiteral("Operador ou senha inválidos.");
    const auto waiting = [](int seconds) {
        return QStringLiteral("Tentativas de senha demais a partir deste computador. Aguarde %1 segundo(s) e tente novamente.").arg(seconds);
    };
    const QString locked = QStringLiteral("Tentativas de senha demais a partir deste computador. Tente novamente em 5 minuto(s).");

    // A success starts the operator's count again, not the address's.
    EXPECT_EQ(login("errada"), wrong);
    EXPECT_EQ(login("sup1"), "ok");
    EXPECT_EQ(Journalled("Login"), "SUP1 0001 ok -");

    // No wait after one failure; after the second, 1 s, then 2 s: a check within the wait is
    // not judged, the right password neither.
    EXPECT_EQ(login("errada"), wrong);
    EXPECT_EQ(login("sup1"), waiting(1));
    EXPECT_EQ(Journalled("Login"), "SUP1 0001 locked -");
    later(1);
    ActAs("OPER1");
    EXPECT_FALSE(Call(kHost, "ConfSenha", {"SUP1", "errada"}).toBool());
    EXPECT_EQ(Journalled("ConfSenha"), "OPER1 0001 wrong-password -");
    EXPECT_EQ(login("errada", "GER1"), waiting(2)) << "the wait is the address's, whatever the operator";
    later(2);
    EXPECT_EQ(login("errada", "GER1"), wrong);
    later(4);
    EXPECT_EQ(login("errada"), wrong);
    EXPECT_EQ(login("sup1"), locked) << "five failures of the address in a row: locked";
    ActAs("OPER1");
    EXPECT_EQ(FailOf(Call(kHost, "ConfSenha", {"SUP1", "sup1"})), locked);
    EXPECT_EQ(Sql("SELECT DTBLOQUEIO FROM TENTATIVASENHA WHERE CDOPERADOR = 'SUP1'").toString(), QString()) << "the operator is not locked";

    // From another address the operator is let in.
    const TRpcReply elsewhere = objects->Dispatch({kHost, "Login", {"SUP1", "sup1", "0001"}, {}, {}, {}, "10.9.9.9"});
    EXPECT_FALSE(elsewhere.isError || VarIsFail(elsewhere.result)) << elsewhere.errorMessage.toStdString();

    // The address's lock ends after its time.
    later(5 * 60 + 1);
    EXPECT_EQ(login("sup1"), "ok");

    // An operator who does not exist is told the same as a wrong password.
    try {
        LoginToServer(QStringLiteral("NINGUEM"), QStringLiteral("x"), QStringLiteral("0001"));
        ADD_FAILURE() << "logged in as nobody";
    } catch (const EHostError& e) {
        EXPECT_EQ(e.message(), wrong);
    }
    EXPECT_FALSE(Sql("SELECT DSARGUMENTOS FROM JORNAL WHERE NMMETODO = 'Login' ORDER BY NRJORNAL DESC").toString().contains("\"x\""));
}

// Failures of one operator from several addresses lock the operator, from every address; a
// manager of his branch lifts the lock, and those of the addresses it came from.
TEST_P(Sessions, FailuresFromManyAddressesLockTheOperatorUntilAManagerUnlocksHim)
{
    const auto login = [&](const char* password, const QString& peer) {
        const TRpcReply reply = objects->Dispatch({kHost, "Login", {"SUP1", QString::fromLatin1(password), "0001"}, {}, {}, {}, peer});
        return reply.isError ? reply.errorMessage : VarIsFail(reply.result) ? reply.result.value<TFailResult>().text : QStringLiteral("ok");
    };
    const QString locked = QStringLiteral("O operador SUP1 está bloqueado por excesso de tentativas de senha. Tente novamente em 5 minuto(s).");
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(login("errada", u"10.0.0.%1"_s.arg(i % 2)), u"Operador ou senha inválidos."_s) << i;
    EXPECT_EQ(login("sup1", u"10.0.0.7"_s), "ok") << "four failures from two addresses lock no one";
    for (int i = 0; i < 5; ++i)
        login("errada", u"10.0.1.%1"_s.arg(i));
    EXPECT_EQ(login("sup1", u"10.0.2.1"_s), locked);

    // Only a manager, of the operator's branch.
    ActAs("OPER1");
    EXPECT_TRUE(FailOf(Call(kHost, "DesbloqueiaOperador", {"SUP1"})).contains("só um gerente")) << "OPER1 is no manager";
    ActAs("GER1");
    EXPECT_EQ(FailOf(Call(kHost, "DesbloqueiaOperador", {"OPER2"})), "O operador OPER2 não é da filial 0001.");
    EXPECT_TRUE(Call(kHost, "DesbloqueiaOperador", {"SUP1"}).toBool());
    EXPECT_EQ(Journalled("DesbloqueiaOperador"), "GER1 0001 ok -");
    EXPECT_EQ(login("sup1", u"10.0.2.1"_s), "ok");
    EXPECT_FALSE(Call(kHost, "DesbloqueiaOperador", {"SUP1"}).toBool()) << "nothing left to lift";
}

TEST_P(Sessions, ASessionOpenedOnOneServerServesOnAnotherOfTheSameStore)
{
    TStore secondStore(store->url());
    TServerObjects secondObjects(secondStore);
    RegisterAll(secondObjects);
    TRpcServer second([&](const TRpcRequest& r) { return secondObjects.Dispatch(r); });
    second.Listen();

    const int first = Session().webPort;
    LoginToServer(QStringLiteral("OPER1"), QStringLiteral("oper1"), QStringLiteral("0001"));
    EXPECT_NO_THROW(Call(kProc, "GetOperControle", {"OPER1"}));   // the first may keep the session now
    Session().webPort = second.Port();
    EXPECT_FALSE(Column(VarElement(Call(kProc, "GetOperControle", {"OPER1"}), 0, QStringLiteral("teste")), "CDOPERADOR").isEmpty());
    // Ended on the second, it is over on the first too, once the store has told it.
    const QString token = Session().token;
    LogoutFromServer();
    EXPECT_TRUE(TransportErrorOf(kProc, "GetOperControle", {"OPER1"}).contains("HTTP 401")) << "at once on the server that ended it";
    Session().webPort = first;
    Session().token = token;
    EXPECT_TRUE(Eventually([&] { return TransportErrorOf(kProc, "GetOperControle", {"OPER1"}).contains("HTTP 401"); }));
    second.Stop();
}

// On PostgreSQL a read takes its session from those the server keeps, as long as the store
// tells the server of every change to them.
TEST_P(Sessions, AKeptSessionServesReadsOnlyWhileTheStoreTellsOfItsChanges)
{
    if (store->dialect() != TStore::PostgreSQL)
        GTEST_SKIP() << "SQLite tells no server of changes: every call looks its session up";
    ASSERT_TRUE(Eventually([&] { return objects->HearsSessionChanges(); }));
    const QVariantList rights{"OPER1"};
    const auto refused = [&] { return TransportErrorOf(kProc, "GetOperControle", rights).contains("HTTP 401"); };

    // A store that says nothing: the session, ended behind the server's back, still serves
    // reads, but no change.
    EXPECT_NO_THROW(Call(kProc, "GetOperControle", rights));
    Exec("ALTER TABLE SESSAO DISABLE TRIGGER SESSAO_ALTERADA");
    Exec("DELETE FROM SESSAO");
    EXPECT_FALSE(refused()) << "the read trusts the kept session";
    EXPECT_TRUE(TransportErrorOf(kHost, "ConfSenha", {"SUP1", "sup1"}).contains("HTTP 401")) << "a change looks its session up";
    Exec("ALTER TABLE SESSAO ENABLE TRIGGER SESSAO_ALTERADA");
    EXPECT_TRUE(refused()) << "the refused change forgot it";

    // Ended in the store by hand, or all of them at once: refused within moments.
    const auto keptSession = [&] {
        ActAs("OPER1");
        EXPECT_NO_THROW(Call(kProc, "GetOperControle", rights));
        return objects->KeepsSessionOf(Session().token);
    };
    for (const char* end : {"DELETE FROM SESSAO", "TRUNCATE SESSAO"}) {
        ASSERT_TRUE(keptSession());
        Exec(QString::fromLatin1(end));
        EXPECT_TRUE(Eventually(refused)) << end;
    }

    // A logout or a supervisor's word through this server: forgotten here at once.
    ASSERT_TRUE(keptSession());
    EXPECT_TRUE(Call(kHost, "ConfSenha", {"SUP1", "sup1"}).toBool());
    EXPECT_FALSE(objects->KeepsSessionOf(Session().token));
    EXPECT_NO_THROW(Call(kProc, "GetOperControle", rights));
    EXPECT_TRUE(Call(kHost, "Logout").toBool());
    EXPECT_TRUE(refused());

    // The listening connection lost: what was kept is forgotten, since a change may go unheard,
    // and the server listens again.
    ASSERT_TRUE(keptSession());
    Exec("ALTER TABLE SESSAO DISABLE TRIGGER SESSAO_ALTERADA");
    Exec("DELETE FROM SESSAO");
    Exec("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = current_database() AND query LIKE 'LISTEN%' AND pid <> pg_backend_pid()");
    EXPECT_TRUE(Eventually(refused));
    Exec("ALTER TABLE SESSAO ENABLE TRIGGER SESSAO_ALTERADA");
    EXPECT_TRUE(Eventually([&] { return objects->HearsSessionChanges(); }));
}

TEST(SessionCache, KeepsOnlyWhatNoChangeHeardMeanwhileCouldHaveMissed)
{
    TSessionCache cache;
    const TStoredSession oper1{{QStringLiteral("h1"), QStringLiteral("OPER1"), QStringLiteral("0001"), {}, {}}, QDateTime::currentDateTime()};
    const auto kept = [&] { return cache.Find(QStringLiteral("h1")).has_value(); };

    cache.Remember(oper1, cache.Heard());
    EXPECT_FALSE(kept()) << "not hearing the store";
    cache.SetHearing(true);
    cache.Remember(oper1, cache.Heard());
    EXPECT_TRUE(kept());
    cache.Changed(QStringLiteral("h2"));
    EXPECT_TRUE(kept()) << "another session changed";
    cache.Changed(QStringLiteral("h1"));
    EXPECT_FALSE(kept());

    // A change heard between the lookup and keeping what it read.
    const quint64 before = cache.Heard();
    cache.Changed(QStringLiteral("h2"));
    cache.Remember(oper1, before);
    EXPECT_FALSE(kept());

    for (const auto& forget : std::initializer_list<std::function<void()>>{[&] { cache.Changed(QStringLiteral("*")); }, [&] { cache.SetHearing(false); }}) {
        cache.SetHearing(true);
        cache.Remember(oper1, cache.Heard());
        ASSERT_TRUE(kept());
        forget();
        EXPECT_FALSE(kept());
    }
}

TEST_P(Sessions, TheJournalIsOnlyEverAppendedTo)
{
    EXPECT_TRUE(Call(kHost, "ConfSenha", {"SUP1", "sup1"}).toBool());
    ASSERT_GT(Sql("SELECT COUNT(*) FROM JORNAL").toInt(), 0);
    EXPECT_THROW(Exec("UPDATE JORNAL SET IDRESULTADO = 'ok'"), EHostError);
    EXPECT_THROW(Exec("DELETE FROM JORNAL"), EHostError);
    EXPECT_EQ(Sql("SELECT DSARGUMENTOS FROM JORNAL WHERE NMMETODO = 'ConfSenha'").toString(), "[\"SUP1\",\"********\"]");
}

// Servers of one store in different time zones agree on sessions and locks: a moment one of
// them writes, the other reads as the same moment.
TEST_P(Sessions, ServersInDifferentTimeZonesAgreeOnSessionsAndLocks)
{
    if (!QFile::exists(u"/usr/share/zoneinfo/Asia/Tokyo"_s))
        GTEST_SKIP() << "this machine has no time zone data";
    const auto start = [&](const char* zone, QProcess& process) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"TZ"_s, QString::fromLatin1(zone));
        process.setProcessEnvironment(environment);
        process.start(QCoreApplication::applicationDirPath() + "/ore-server",
                      {"--db", store->url(), "--listen", "127.0.0.1:0", "--lockout-after", "2"});
        QByteArray said;
        const QRegularExpression listening(u"escutando em 127\\.0\\.0\\.1:(\\d+)"_s);
        for (QElapsedTimer clock; !clock.isValid() || clock.elapsed() < 30000;) {
            if (!clock.isValid())
                clock.start();
            process.waitForReadyRead(1000);
            said += process.readAllStandardOutput();
            if (const auto match = listening.match(QString::fromUtf8(said)); match.hasMatch())
                return match.captured(1).toInt();
        }
        ADD_FAILURE() << zone << ": " << said.toStdString() << process.readAllStandardError().toStdString();
        return 0;
    };
    QProcess utc, tokyo;
    const int utcPort = start("UTC", utc), tokyoPort = start("Asia/Tokyo", tokyo);
    ASSERT_TRUE(utcPort && tokyoPort);
    const auto login = [&](int port, const char* operatorCode, const char* password) {
        Session().webPort = port;
        try {
            LoginToServer(QString::fromLatin1(operatorCode), QString::fromLatin1(password), u"0001"_s);
            return u"ok"_s;
        } catch (const EHostError& e) {
            return e.message();
        }
    };

    // A login on the Tokyo server removes idle sessions, not the one the UTC server just opened.
    EXPECT_EQ(login(utcPort, "OPER1", "oper1"), "ok");
    const QString token = Session().token;
    EXPECT_EQ(login(tokyoPort, "GER1", "ger1"), "ok");
    Session().webPort = utcPort;
    Session().token = token;
    Session().operador = u"OPER1"_s;
    EXPECT_NO_THROW(Call(kProc, "GetOperControle", {"OPER1"}));

    // An address the UTC server locked is locked on the Tokyo server too.
    EXPECT_EQ(login(utcPort, "SUP1", "errada"), "Operador ou senha inválidos.");
    EXPECT_EQ(login(utcPort, "SUP1", "errada"), "Operador ou senha inválidos.");
    EXPECT_EQ(login(tokyoPort, "SUP1", "sup1"), "Tentativas de senha demais a partir deste computador. Tente novamente em 5 minuto(s).");
    utc.terminate();
    tokyo.terminate();
    utc.waitForFinished(10000);
    tokyo.waitForFinished(10000);
}

TEST_P(Sessions, OreServerPrintsTheJournalOfAQuote)
{
    EXPECT_FALSE(FailOf(Call(kAprova, "SetAprova", Approval("0000000102", "GER1"))).isEmpty());
    EXPECT_TRUE(Call(kAprova, "SetModPgto", {"02", "0001", "0000000101", "", "", "C"}).toBool());
    auto journal = [&](const QStringList& filters, int* status = nullptr) {
        QProcess process;
        process.start(QCoreApplication::applicationDirPath() + "/ore-server", QStringList{"journal", "--db", store->url()} + filters);
        EXPECT_TRUE(process.waitForFinished(30000));
        if (status)
            *status = process.exitCode();
        return QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    };
    const QStringList lines = journal({"--quote", "0000000102"});
    ASSERT_EQ(lines.size(), 1) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].contains(QRegularExpression(
        R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}  OPER1  0001  ORE00400\.rdmAprovaOrca\.SetAprova  0001/0000000102/01  refused  "ORE00400.*"  \["0000000102")")))
        << lines[0].toStdString();
    EXPECT_EQ(journal({"--since", QDate::currentDate().toString(Qt::ISODate)}).size(), 2);
    EXPECT_TRUE(journal({"--since", QDate::currentDate().addDays(1).toString(Qt::ISODate)}).isEmpty());
    int status = 0;
    journal({"--since", "ontem"}, &status);
    EXPECT_EQ(status, 2);
}

} // namespace
