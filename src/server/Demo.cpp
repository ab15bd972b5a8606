#include "Demo.h"

#include "Password.h"
#include "Quote.h"
#include "Store.h"

#include <QSqlQuery>

#include <initializer_list>
#include <utility>

namespace {

using Row = std::initializer_list<std::pair<const char*, QVariant>>;

void Insert(QSqlDatabase& db, const char* table, Row row)
{
    QStringList columns, marks;
    QVariantList values;
    for (const auto& [column, value] : row) {
        columns << QString::fromLatin1(column);
        marks << QStringLiteral("?");
        values << value;
    }
    Run(db, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(QString::fromLatin1(table), columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
        values);
}

void Operator(QSqlDatabase& db, const char* code, const char* name, const char* password, const QVariant& salesperson, const char* mayRegister,
              const char* rights)
{
    const TPasswordHash hash = HashPassword(QString::fromLatin1(password));
    Insert(db, "OPERADOR", {{"CDOPERADOR", code}, {"NMOPERADOR", QString::fromUtf8(name)}, {"DSSENHAHASH", hash.hash}, {"DSSENHASAL", hash.salt},
                            {"CDVENDEDOR", salesperson}, {"IDCADPRPROCEORE", mayRegister}});
    if (rights)
        Insert(db, "OPERCONTROLE", {{"CDOPERADOR", code}, {"CDPROCHABLANOPE", rights}, {"CDPROCHABAPROPE", rights}, {"CDPROCHABFECOPE", rights}});
}

void Branch(QSqlDatabase& db, const char* code, const char* name, bool orderParameters)
{
    Insert(db, "FILIAL", {{"CDFILIAL", code}, {"NMFILIAL", QString::fromUtf8(name)}});
    const char* all = "APROVAR FECHAR EXECUTAR";
    Insert(db, "PARAMORCA", {{"CDFILIAL", code}, {"CDPROCHABLANORE", "APROVAR"}, {"CDPROCHABAPRORE", all}, {"CDPROCHABFECORE", "FECHAR EXECUTAR"},
                             {"IDAPROVORCFILANTPAI", "N"}, {"IDUTLPROPOSTAPGTO", "S"}, {"IDETAPENDENTINF", "S"}, {"IDORIGPRUNITORE", "T"},
                             {"IDAGENDASALAO", "S"}, {"IDLOCAVALESTORE", "N"}, {"IDTPTRATDESCORE", "A"}, {"IDUTAPROVCOMORE", "S"},
                             {"IDGERREQEXECORE", "P"}, {"CDPBASEITEM", "01"}, {"IDTPPRODPEDOREV", orderParameters ? QVariant("O") : QVariant()},
                             {"IDOBRTPOPPED", "S"}, {"CDTIPOOPER", "01"}, {"CDSERIE", "1"}, {"CDTPCTREC", "001"}, {"CDAJUSTEREC", "001"},
                             {"CDTPCUSTEXP", "001"}, {"VRCUSTOFIXOPERC", 12.0}});
}

void Places(QSqlDatabase& db)
{
    Insert(db, "PAIS", {{"CDPAIS", "1058"}, {"NMPAIS", "Brasil"}});
    Insert(db, "PAIS", {{"CDPAIS", "0639"}, {"NMPAIS", "Argentina"}});
    for (auto [country, state, name] : {std::tuple{"1058", "PE", "Pernambuco"}, {"1058", "SP", "São Paulo"}, {"1058", "BA", "Bahia"},
                                        {"0639", "BA", "Buenos Aires"}})
        Insert(db, "ESTADO", {{"CDPAIS", country}, {"SGESTADO", state}, {"NMESTADO", QString::fromUtf8(name)}});
    for (auto [country, state, code, name] : {std::tuple{"1058", "PE", "2611", "Recife"}, {"1058", "PE", "2609", "Olinda"},
                                              {"1058", "SP", "3550", "São Paulo"}, {"1058", "BA", "2927", "Salvador"},
                                              {"0639", "BA", "0001", "La Plata"}})
        Insert(db, "MUNICIPIO", {{"CDPAIS", country}, {"SGESTADO", state}, {"CDMUNICIPIO", code}, {"NMMUNICIPIO", QString::fromUtf8(name)}});
    for (auto [country, state, town, code, name] : {std::tuple{"1058", "PE", "2611", "0000000001", "Boa Viagem"},
                                                    {"1058", "PE", "2611", "0000000002", "Casa Forte"},
                                                    {"1058", "PE", "2609", "0000000003", "Carmo"},
                                                    {"1058", "BA", "2927", "0000000004", "Barra"},
                                                    {"1058", "SP", "3550", "0000000005", "Pinheiros"},
                                                    {"0639", "BA", "0001", "0000000010", "Centro"}})
        Insert(db, "BAIRRO", {{"CDPAIS", country}, {"SGESTADO", state}, {"CDMUNICIPIO", town}, {"CDBAIRRO", code}, {"NMBAIRRO", QString::fromUtf8(name)}});
}

void Client(QSqlDatabase& db, const char* kind, const char* registration, const char* trade, const char* legal)
{
    const QString code = QString::fromLatin1(kind) + QString::fromLatin1(registration);
    Insert(db, "CLIENTE", {{"CDCLIENTE", code}, {"NMFANTCLIE", QString::fromUtf8(trade)}, {"NMRAZSOCCLIE", QString::fromUtf8(legal)},
                           {"NRINSJURCLIE", registration}, {"IDTPIJURCLIE", kind}});
}

void Address(QSqlDatabase& db, const char* client, int n, const char* type, const char* street, const char* town, const char* district,
             const char* complement = "")
{
    Insert(db, "ENDECLIE", {{"CDCLIENTE", client}, {"NRENDCLIE", n}, {"IDTPENDECLIE", type}, {"DSENDECLIE", QString::fromUtf8(street)},
                            {"DSCOMPENDCLI", QString::fromUtf8(complement)}, {"DSPTOREFECLI", ""}, {"NMCONTCLIE", ""}, {"CDPAIS", "1058"},
                            {"SGESTADO", "PE"}, {"CDMUNICIPIO", town}, {"CDBAIRRO", district}});
}

void Hall(QSqlDatabase& db, const char* code, const char* name, const QVariant& limit, double price, const char* street)
{
    Insert(db, "SALAO", {{"CDFILIAL", "0001"}, {"CDSALAOEVEN", code}, {"NMSALAOEVEN", QString::fromUtf8(name)}, {"QTLIMAGENDIA", limit},
                         {"VRCOBAGENSALAO", price}, {"DSENDSALAOEV", QString::fromUtf8(street)}, {"CDPAIS", "1058"}, {"SGESTADO", "PE"},
                         {"CDMUNICIPIO", "2611"}, {"CDBAIRRO", "0000000001"}, {"NMCONTSALAEV", "Recepção"}, {"NRTELESALEV1", "8133330000"}});
}

void Product(QSqlDatabase& db, const char* code, const char* name, const char* unit, const QVariant& department, const QVariant& price,
             const char* group)
{
    Insert(db, "PRODUTO", {{"CDPRODUTO", code}, {"CDARVPROD", QStringLiteral("01.%1").arg(QString::fromLatin1(code))}, {"NMPRODUTO", QString::fromUtf8(name)},
                           {"SGUNIDADE", unit}, {"CDGRTOTAPROD", group}, {"IDDEPTO", department}, {"VRPRECO", price}});
}

struct QuoteSpec {
    const char* branch = "0001";
    const char* number;
    const char* sequence = "01";
    const char* situation = "1";
    const char* title;
    const char* client = "J11222333000181";
    const char* clientState = "C";
    const char* salesperson = "V01";
    const char* event = "2027-03-10T20:00:00";
    double hours = 5;
    double discount = 0;
    double guests = 150;
    bool address = true;
    const char* parent = nullptr;
};

void Quote(QSqlDatabase& db, const QuoteSpec& q)
{
    Insert(db, "ORCAEVENTO", {{"CDFILIAL", q.branch}, {"NRORCAEVENTO", q.number}, {"NRSEQORCAEVE", q.sequence}, {"IDSITUORCEVE", q.situation},
                              {"DSTITUORCEVE", QString::fromUtf8(q.title)}, {"DTEVENTO", q.event}, {"QTHREVENTO", q.hours},
                              {"DTVALIORCEVE", "2027-02-28T00:00:00"}, {"DTINCLORCEVE", "2026-11-20T10:00:00"}, {"CDOPEINCOREV", "OPER1"},
                              {"CDVENDEDOR", q.salesperson}, {"CDCLIENTE", QString::fromLatin1(q.clientState) == QLatin1String("C") ? QVariant(q.client) : QVariant()},
                              {"IDSITCLIOREV", q.clientState}, {"NMCLIEORCEVE", QString::fromUtf8(q.title).section(QLatin1Char(' '), -2)},
                              {"CDMODPGTO", "01"}, {"VRDESCORCEVE", q.discount}, {"QTCONVORCEVE", q.guests}, {"IDENDENTOREV", "T"},
                              {"DSENDENTOREV", q.address ? QVariant(QStringLiteral("Av. Boa Viagem, 1000")) : QVariant()},
                              {"CDPAIS", q.address ? QVariant("1058") : QVariant()}, {"SGESTADO", q.address ? QVariant("PE") : QVariant()},
                              {"CDMUNICIPIO", q.address ? QVariant("2611") : QVariant()}, {"CDBAIRRO", q.address ? QVariant("0000000001") : QVariant()},
                              {"DSREFENDOREV", "Em frente ao parque"}, {"NRORCAPAI", q.parent ? QVariant(q.parent) : QVariant()},
                              {"CDTIPOEVENTO", "001"}, {"NMTIPOEVENTO", "Casamento"}, {"NMTPSERVEVEN", "Buffet completo"},
                              {"TXOBSEXTOREV", "Cardápio conforme degustação."}});
}

void Item(QSqlDatabase& db, const char* number, const char* item, const char* option, const QVariant& product, double quantity, double value,
          double discount = 0, const char* unregistered = nullptr, const char* branch = "0001", const char* sequence = "01")
{
    Insert(db, "ITEMORCA", {{"CDFILIAL", branch}, {"NRORCAEVENTO", number}, {"NRSEQORCAEVE", sequence}, {"NRITEMORCEVE", item},
                            {"NROPCAITOREV", option}, {"CDPRODUTO", product}, {"NMPRODUTO", unregistered ? QVariant(QString::fromUtf8(unregistered)) : QVariant()},
                            {"QTITEMORCEVE", quantity}, {"VRITEMORCEVE", value}, {"VRDESCITOREV", discount}, {"VRACREITOREV", 0.0}});
}

void Labour(QSqlDatabase& db, const char* number, const char* branch = "0001", const char* sequence = "01")
{
    Insert(db, "MAOOBRA", {{"CDFILIAL", branch}, {"NRORCAEVENTO", number}, {"NRSEQORCAEVE", sequence}, {"NRTURNO", "01"}, {"DSTURNO", "Noite"},
                           {"CDPRODUTO", "L001"}, {"QTPRODMOBRA", 6.0}, {"VRCOBRMOBRA", 150.0}, {"VRPAGOMOBRA", 100.0}});
}

void HallOf(QSqlDatabase& db, const char* number, const char* hall, double price, const char* state = "R", const char* branch = "0001")
{
    Insert(db, "SALAOORCA", {{"CDFILIAL", branch}, {"NRORCAEVENTO", number}, {"NRSEQORCAEVE", "01"}, {"CDSALAOEVEN", hall}, {"IDSITAGENSAL", state},
                             {"NRRESERSALAO", "01"}, {"VRCOBAGENSALAO", price}, {"VRPEACRSALEV", 0.0}, {"DTAGENDSALAO", "2026-11-20T10:00:00"},
                             {"DTVALRESESAL", "2026-12-31T00:00:00"}, {"CDOPERADOR", "OPER1"}});
}

// A quote that its contracting client pays in full.
void Contractor(QSqlDatabase& db, const char* branch, const char* number, const char* client, double guests)
{
    const TQuoteKey key{QString::fromLatin1(branch), QString::fromLatin1(number), QStringLiteral("01")};
    const double value = std::round(Totals(db, key).net() * 100) / 100;
    Insert(db, "CONTRATANTE", {{"CDFILIAL", branch}, {"NRORCAEVENTO", number}, {"NRSEQORCAEVE", "01"}, {"CDCLIENCONTORCA", client},
                               {"QTCONVCONTOREV", guests}, {"VRRECECONTOREV", value}, {"IDFORMAPGCONT", "B"}, {"IDSITUCONTOREV", "A"}});
    Run(db, QStringLiteral("UPDATE ORCAEVENTO SET CDCLICONTORC = ? WHERE CDFILIAL = ? AND NRORCAEVENTO = ?"), {client, branch, number});
}

void Order(QSqlDatabase& db, const char* number, const char* quote, const char* department, const char* state, const char* product, double quantity)
{
    Insert(db, "PEDIDO", {{"NRPEDIDO", number}, {"CDFILIAL", "0001"}, {"NRORCAEVENTO", quote}, {"NRSEQORCAEVE", "01"}, {"IDDEPTO", department},
                          {"IDSITUPED", state}, {"IDTIPOGER", "O"}, {"CDOPERADOR", "OPER1"}, {"DTPEDIDO", "2026-11-25T09:00:00"}});
    Insert(db, "ITEMPEDIDO", {{"NRPEDIDO", number}, {"CDPRODUTO", product}, {"QTITEM", quantity}, {"VRITEM", 1.5}});
}

} // namespace

void InitDemo(TStore& store)
{
    store.migrate();
    if (!store.isEmpty())
        return;
    store.transaction([](QSqlDatabase& db) {
        Branch(db, "0001", "Buffet Central", true);
        Branch(db, "0002", "Buffet Norte", false);
        Places(db);

        for (auto [code, name, job, boss, ceiling] : {std::tuple{"G01", "Gerente Geral", "G", QVariant(), 30.0},
                                                      {"S01", "Supervisora Ana", "S", QVariant("G01"), 20.0},
                                                      {"V01", "Vendedor Bruno", "V", QVariant("S01"), 10.0},
                                                      {"V02", "Vendedora Carla", "V", QVariant("S01"), 5.0}})
            Insert(db, "VENDEDOR", {{"CDVENDEDOR", code}, {"NMFANVEN", QString::fromUtf8(name)}, {"NMRAZSOCVEN", QString::fromUtf8(name)},
                                    {"IDCARGOVEND", job}, {"CDVENDEDORSUP", boss}, {"VRPEMAXDESVE", ceiling}});
        const char* all = "APROVAR FECHAR EXECUTAR";
        Operator(db, "OPER1", "Bruno Lima", "oper1", "V01", "S", all);
        Operator(db, "SUP1", "Ana Souza", "sup1", "S01", "S", all);
        Operator(db, "GER1", "Gerente Geral", "ger1", "G01", "S", all);
        Operator(db, "OPER2", "Carla Dias", "oper2", "V02", "N", nullptr);   // the branch's default rights

        Client(db, "J", "11222333000181", "Eventos Alfa", "Eventos Alfa Ltda");
        Client(db, "F", "12345678909", "Maria Souza", "Maria Souza");
        Client(db, "J", "44555666000199", "Clube Beta", "Clube Beta S.A.");
        Address(db, "J11222333000181", 1, "P", "Rua da Aurora, 100", "2611", "0000000002", "Sala 12");
        Address(db, "J11222333000181", 2, "E", "Rua do Sol, 50", "2609", "0000000003");
        Address(db, "F12345678909", 1, "P", "Av. Conselheiro Aguiar, 2000", "2611", "0000000001", "Apto 1501");
        Address(db, "F12345678909", 2, "E", "Rua Amélia, 10", "2611", "0000000002");
        Address(db, "J44555666000199", 1, "P", "Av. Rui Barbosa, 700", "2611", "0000000002");

        Hall(db, "001", "Salão Nobre", 2, 3000, "Av. Boa Viagem, 1000");
        Hall(db, "002", "Terraço", 3, 2000, "Av. Boa Viagem, 1000, cobertura");
        Hall(db, "003", "Jardim", 2, 1500, "Av. Boa Viagem, 1000, térreo");
        Hall(db, "004", "Espaço Kids", 3, 800, "Av. Boa Viagem, 1000, 1º andar");
        Hall(db, "005", "Varanda", QVariant(), 900, "Av. Boa Viagem, 1000, varanda");   // no daily limit set up

        Product(db, "P001", "Salgados variados", "UN", "P", 1.5, "001");
        Product(db, "P002", "Bolo de festa", "UN", "P", 120.0, "002");
        Product(db, "M001", "Farinha de trigo", "KG", "M", 5.0, "003");
        Product(db, "M002", "Açúcar", "KG", "M", 4.0, "003");
        Product(db, "M003", "Refrigerante 2L", "UN", "M", 8.0, "004");
        Product(db, "L001", "Garçom", "HR", QVariant(), 150.0, "005");
        Product(db, "X001", "Decoração floral", "UN", QVariant(), 500.0, "006");
        Product(db, "X002", "Doces finos", "UN", "P", QVariant(), "002");
        Insert(db, "COMPOSICAO", {{"CDPRODUTO", "P002"}, {"CDPRODCOMP", "M001"}, {"QTCOMPOSICAO", 2.0}});
        Insert(db, "COMPOSICAO", {{"CDPRODUTO", "P002"}, {"CDPRODCOMP", "M002"}, {"QTCOMPOSICAO", 1.0}});

        // Pending quotes.
        auto basic = [&](const char* number, const char* hall = "001") {
            Item(db, number, "0000000001", "01", "P001", 200, 1.5);
            Item(db, number, "0000000002", "01", "M003", 20, 8);
            Labour(db, number);
            if (hall)
                HallOf(db, number, hall, 3000);
        };
        Quote(db, {.number = "0000000101", .title = "Casamento Alfa"});
        basic("0000000101");
        Quote(db, {.number = "0000000101", .sequence = "02", .title = "Casamento Alfa, versão econômica"});
        Item(db, "0000000101", "0000000001", "01", "P001", 120, 1.5, 0, nullptr, "0001", "02");
        Labour(db, "0000000101", "0001", "02");

        Quote(db, {.number = "0000000102", .title = "Formatura Beta", .client = "J44555666000199", .event = "2027-04-02T21:00:00"});
        Item(db, "0000000102", "0000000001", "01", "P001", 300, 1.5);
        Item(db, "0000000102", "0000000002", "02", "P002", 2, 120);
        Item(db, "0000000102", "0000000003", "02", "M003", 40, 8);
        Labour(db, "0000000102");
        HallOf(db, "0000000102", "001", 3000);
        HallOf(db, "0000000102", "003", 1500);

        Quote(db, {.number = "0000000103", .title = "Aniversário Maria", .client = "F12345678909", .event = "2027-04-10T19:00:00", .discount = 900});
        Item(db, "0000000103", "0000000001", "01", "P001", 200, 1.5, 60);   // 20% on this item
        Item(db, "0000000103", "0000000002", "01", "M003", 20, 8);
        Labour(db, "0000000103");
        HallOf(db, "0000000103", "004", 800);

        Quote(db, {.number = "0000000104", .title = "Confraternização Gama", .clientState = "N", .event = "2027-04-15T20:00:00"});
        basic("0000000104", "003");
        Insert(db, "ENDENOVOCLIE", {{"CDFILIAL", "0001"}, {"NRORCAEVENTO", "0000000104"}, {"NRSEQORCAEVE", "01"}, {"NRINSJURORCA", "99888777000166"},
                                    {"IDTPINJUORCA", "J"}, {"NMRAZSOCCLIE", "Gama Eventos Ltda"}, {"NMFANTCLIE", "Gama Eventos"},
                                    {"DSENDECLIORE", "Rua da Hora, 300"}, {"NMBAIRCLIORE", "Espinheiro"}, {"CDPAIS", "1058"}, {"SGESTADO", "PE"},
                                    {"CDMUNICIPIO", "2611"}, {"CDBAIRRO", "0000000002"}, {"NRTELECLIORE", "8132220000"}});

        Quote(db, {.number = "0000000106", .title = "Festa original Delta", .event = "2027-05-01T20:00:00"});
        basic("0000000106", "003");
        Quote(db, {.number = "0000000105", .title = "Festa Delta, filho", .event = "2027-05-02T20:00:00", .parent = "0000000106"});
        basic("0000000105", "003");

        Quote(db, {.number = "0000000107", .title = "Coquetel sem equipe", .event = "2027-05-05T18:00:00"});
        Item(db, "0000000107", "0000000001", "01", "P001", 100, 1.5);
        HallOf(db, "0000000107", "003", 1500);

        Quote(db, {.number = "0000000108", .title = "Jantar sem endereço", .event = "2027-05-08T20:00:00", .address = false});
        basic("0000000108", "003");

        Quote(db, {.number = "0000000109", .title = "Festa com escultura", .event = "2027-05-12T20:00:00"});
        basic("0000000109", "003");
        Item(db, "0000000109", "0000000003", "01", QVariant(), 1, 900, 0, "Escultura de gelo");

        Quote(db, {.number = "0000000110", .title = "Casamento com propostas", .event = "2027-05-20T20:00:00"});
        basic("0000000110", "003");
        for (auto [number, rate, parts, value, down] : {std::tuple{"0000000001", 0.0, 3.0, 1200.0, 500.0}, {"0000000002", 1.5, 10.0, 420.0, 0.0}})
            Insert(db, "PROPOSTAPGTO", {{"CDFILIAL", "0001"}, {"NRORCAEVENTO", "0000000110"}, {"NRSEQORCAEVE", "01"}, {"NRPROPOSTAPGTO", number},
                                        {"VRPERCJUROSORCA", rate}, {"QTPARCELASORCA", parts}, {"VRPARCELAORCA", value}, {"VRPARCELAENTR", down},
                                        {"DTPRIMVENCPARC", "2027-01-10T00:00:00"}, {"IDTPFORMPGTOREV", "B"}, {"DTINCALTPROPOSTA", "2026-11-20T10:00:00"}});
        Insert(db, "NUMERADOR", {{"NMCHAVE", "PROPOSTAPGTO"}, {"NRULTIMO", 2}});

        // A hall whose daily limit nobody set up: the hall check stops its approval.
        Quote(db, {.number = "0000000112", .title = "Luau na varanda", .event = "2027-05-25T20:00:00"});
        basic("0000000112", "005");

        // Hall 002 is held on 2027-03-20 from 19:00 to 23:00 by an approved quote.
        Quote(db, {.number = "0000000900", .situation = "2", .title = "Bodas já agendadas", .event = "2027-03-20T19:00:00", .hours = 4});
        basic("0000000900", nullptr);
        HallOf(db, "0000000900", "002", 2000, "A");
        Insert(db, "AGENDASALAO", {{"CDFILIAL", "0001"}, {"CDSALAOEVEN", "002"}, {"DTINICIO", "2027-03-20T19:00:00"}, {"DTFIM", "2027-03-20T23:00:00"},
                                   {"NRORCAEVENTO", "0000000900"}, {"NRSEQORCAEVE", "01"}});
        Quote(db, {.number = "0000000111", .title = "Noivado no terraço", .event = "2027-03-20T20:00:00", .hours = 3});
        basic("0000000111", "002");

        // Approved quotes, with their contracting clients.
        Quote(db, {.number = "0000000201", .situation = "2", .title = "Bodas Souza", .client = "F12345678909", .event = "2027-06-01T20:00:00"});
        basic("0000000201", nullptr);
        Contractor(db, "0001", "0000000201", "F12345678909", 150);
        Quote(db, {.branch = "0002", .number = "0000000202", .situation = "2", .title = "Festa na filial Norte", .event = "2027-06-05T20:00:00"});
        Item(db, "0000000202", "0000000001", "01", "P001", 100, 1.5, 0, nullptr, "0002");
        Labour(db, "0000000202", "0002");
        Contractor(db, "0002", "0000000202", "J11222333000181", 150);

        // Closed quotes.
        Quote(db, {.number = "0000000301", .situation = "3", .title = "Formatura pronta", .event = "2027-07-01T20:00:00"});
        basic("0000000301", nullptr);
        Item(db, "0000000301", "0000000003", "01", "P002", 2, 120);
        Quote(db, {.number = "0000000302", .situation = "3", .title = "Festa com pendências", .event = "2027-07-05T20:00:00"});
        basic("0000000302", nullptr);
        Item(db, "0000000302", "0000000003", "01", "X001", 1, 500);
        Item(db, "0000000302", "0000000004", "01", "X002", 100, 3);
        Quote(db, {.number = "0000000303", .situation = "3", .title = "Festa que cresceu", .event = "2027-07-10T20:00:00"});
        Item(db, "0000000303", "0000000001", "01", "P001", 150, 1.5);
        Labour(db, "0000000303");
        Order(db, "0000000901", "0000000303", "P", "E", "P001", 100);   // expedited before the quote grew

        // Executed, finished and cancelled quotes.
        Quote(db, {.number = "0000000401", .situation = "4", .title = "Produção entregue", .event = "2027-08-01T20:00:00"});
        basic("0000000401", nullptr);
        Order(db, "0000000902", "0000000401", "P", "A", "P001", 200);
        Quote(db, {.number = "0000000501", .situation = "5", .title = "Materiais entregues", .event = "2027-08-05T20:00:00"});
        basic("0000000501", nullptr);
        Order(db, "0000000903", "0000000501", "M", "A", "M003", 20);
        Quote(db, {.number = "0000000601", .situation = "6", .title = "Executado totalmente", .event = "2027-08-10T20:00:00"});
        basic("0000000601", nullptr);
        Quote(db, {.number = "0000000701", .situation = "7", .title = "Evento encerrado", .event = "2026-10-10T20:00:00"});
        basic("0000000701", nullptr);
        Quote(db, {.number = "0000000801", .situation = "8", .title = "Evento cancelado", .event = "2027-09-10T20:00:00"});
        basic("0000000801", nullptr);
        Insert(db, "NUMERADOR", {{"NMCHAVE", "PEDIDO"}, {"NRULTIMO", 1000}});
    });
}
