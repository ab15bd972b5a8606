#include "Demo.h"

#include "Password.h"
#include "Quote.h"
#include "Store.h"

#include <QSqlQuery>

#include <initializer_list>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// The demo's texts, written in this file in UTF-8.
QString Text(const char* text) { return QString::fromUtf8(text); }

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
              const char* rights, std::initializer_list<const char*> branches)
{
    const TPasswordHash hash = HashPassword(QString::fromLatin1(password));
    Insert(db, "OPERADOR", {{"CDOPERADOR", Text(code)}, {"NMOPERADOR", Text(name)}, {"DSSENHAHASH", hash.hash}, {"DSSENHASAL", hash.salt},
                            {"CDVENDEDOR", salesperson}, {"IDCADPRPROCEORE", Text(mayRegister)}});
    if (rights)
        Insert(db, "OPERCONTROLE", {{"CDOPERADOR", Text(code)}, {"CDPROCHABLANOPE", Text(rights)}, {"CDPROCHABAPROPE", Text(rights)}, {"CDPROCHABFECOPE", Text(rights)}});
    for (const char* branch : branches)
        Insert(db, "OPERADORFILIAL", {{"CDOPERADOR", Text(code)}, {"CDFILIAL", Text(branch)}});
}

void Places(QSqlDatabase& db)
{
    Insert(db, "PAIS", {{"CDPAIS", u"1058"_s}, {"NMPAIS", u"Brasil"_s}});
    Insert(db, "PAIS", {{"CDPAIS", u"0639"_s}, {"NMPAIS", u"Argentina"_s}});
    for (auto [country, state, name] : {std::tuple{"1058", "PE", "Pernambuco"}, {"1058", "SP", "São Paulo"}, {"1058", "BA", "Bahia"},
                                        {"0639", "BA", "Buenos Aires"}})
        Insert(db, "ESTADO", {{"CDPAIS", Text(country)}, {"SGESTADO", Text(state)}, {"NMESTADO", Text(name)}});
    for (auto [country, state, code, name] : {std::tuple{"1058", "PE", "2611", "Recife"}, {"1058", "PE", "2609", "Olinda"},
                                              {"1058", "SP", "3550", "São Paulo"}, {"1058", "BA", "2927", "Salvador"},
                                              {"0639", "BA", "0001", "La Plata"}})
        Insert(db, "MUNICIPIO", {{"CDPAIS", Text(country)}, {"SGESTADO", Text(state)}, {"CDMUNICIPIO", Text(code)}, {"NMMUNICIPIO", Text(name)}});
    for (auto [country, state, town, code, name] : {std::tuple{"1058", "PE", "2611", "0000000001", "Boa Viagem"},
                                                    {"1058", "PE", "2611", "0000000002", "Casa Forte"},
                                                    {"1058", "PE", "2609", "0000000003", "Carmo"},
                                                    {"1058", "BA", "2927", "0000000004", "Barra"},
                                                    {"1058", "SP", "3550", "0000000005", "Pinheiros"},
                                                    {"0639", "BA", "0001", "0000000010", "Centro"}})
        Insert(db, "BAIRRO", {{"CDPAIS", Text(country)}, {"SGESTADO", Text(state)}, {"CDMUNICIPIO", Text(town)}, {"CDBAIRRO", Text(code)}, {"NMBAIRRO", Text(name)}});
}

void Client(QSqlDatabase& db, const char* kind, const char* registration, const char* trade, const char* legal)
{
    const QString code = QString::fromLatin1(kind) + QString::fromLatin1(registration);
    Insert(db, "CLIENTE", {{"CDCLIENTE", code}, {"NMFANTCLIE", Text(trade)}, {"NMRAZSOCCLIE", Text(legal)},
                           {"NRINSJURCLIE", Text(registration)}, {"IDTPIJURCLIE", Text(kind)}});
}

void Address(QSqlDatabase& db, const char* client, int n, const char* type, const char* street, const char* town, const char* district,
             const char* complement = "")
{
    Insert(db, "ENDECLIE", {{"CDCLIENTE", Text(client)}, {"NRENDCLIE", n}, {"IDTPENDECLIE", Text(type)}, {"DSENDECLIE", Text(street)},
                            {"DSCOMPENDCLI", Text(complement)}, {"DSPTOREFECLI", u""_s}, {"NMCONTCLIE", u""_s}, {"CDPAIS", u"1058"_s},
                            {"SGESTADO", u"PE"_s}, {"CDMUNICIPIO", Text(town)}, {"CDBAIRRO", Text(district)}});
}

void Hall(QSqlDatabase& db, const char* code, const char* name, const QVariant& limit, double price, const char* street)
{
    Insert(db, "SALAO", {{"CDFILIAL", u"0001"_s}, {"CDSALAOEVEN", Text(code)}, {"NMSALAOEVEN", Text(name)}, {"QTLIMAGENDIA", limit},
                         {"VRCOBAGENSALAO", price}, {"DSENDSALAOEV", Text(street)}, {"CDPAIS", u"1058"_s}, {"SGESTADO", u"PE"_s},
                         {"CDMUNICIPIO", u"2611"_s}, {"CDBAIRRO", u"0000000001"_s}, {"NMCONTSALAEV", u"Recepção"_s}, {"NRTELESALEV1", u"8133330000"_s}});
}

void Product(QSqlDatabase& db, const char* code, const char* name, const char* unit, const QVariant& department, const QVariant& price,
             const char* group)
{
    Insert(db, "PRODUTO", {{"CDPRODUTO", Text(code)}, {"CDARVPROD", QStringLiteral("01.%1").arg(QString::fromLatin1(code))}, {"NMPRODUTO", Text(name)},
                           {"SGUNIDADE", Text(unit)}, {"CDGRTOTAPROD", Text(group)}, {"IDDEPTO", department}, {"VRPRECO", price}});
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
    Insert(db, "ORCAEVENTO", {{"CDFILIAL", Text(q.branch)}, {"NRORCAEVENTO", Text(q.number)}, {"NRSEQORCAEVE", Text(q.sequence)}, {"IDSITUORCEVE", Text(q.situation)},
                              {"DSTITUORCEVE", Text(q.title)}, {"DTEVENTO", Text(q.event)}, {"QTHREVENTO", q.hours},
                              {"DTVALIORCEVE", u"2027-02-28T00:00:00"_s}, {"DTINCLORCEVE", u"2026-11-20T10:00:00"_s}, {"CDOPEINCOREV", u"OPER1"_s},
                              {"CDVENDEDOR", Text(q.salesperson)}, {"CDCLIENTE", QString::fromLatin1(q.clientState) == QLatin1String("C") ? QVariant(Text(q.client)) : QVariant()},
                              {"IDSITCLIOREV", Text(q.clientState)}, {"NMCLIEORCEVE", Text(q.title).section(QLatin1Char(' '), -2)},
                              {"CDMODPGTO", u"01"_s}, {"VRDESCORCEVE", q.discount}, {"QTCONVORCEVE", q.guests}, {"IDENDENTOREV", u"T"_s},
                              {"DSENDENTOREV", q.address ? QVariant(QStringLiteral("Av. Boa Viagem, 1000")) : QVariant()},
                              {"CDPAIS", q.address ? QVariant(u"1058"_s) : QVariant()}, {"SGESTADO", q.address ? QVariant(u"PE"_s) : QVariant()},
                              {"CDMUNICIPIO", q.address ? QVariant(u"2611"_s) : QVariant()}, {"CDBAIRRO", q.address ? QVariant(u"0000000001"_s) : QVariant()},
                              {"DSREFENDOREV", u"Em frente ao parque"_s}, {"NRORCAPAI", q.parent ? QVariant(Text(q.parent)) : QVariant()},
                              {"CDTIPOEVENTO", u"001"_s}, {"NMTIPOEVENTO", u"Casamento"_s}, {"NMTPSERVEVEN", u"Buffet completo"_s},
                              {"TXOBSEXTOREV", u"Cardápio conforme degustação."_s}});
}

void Item(QSqlDatabase& db, const char* number, const char* item, const char* option, const QVariant& product, double quantity, double value,
          double discount = 0, const char* unregistered = nullptr, const char* branch = "0001", const char* sequence = "01")
{
    Insert(db, "ITEMORCA", {{"CDFILIAL", Text(branch)}, {"NRORCAEVENTO", Text(number)}, {"NRSEQORCAEVE", Text(sequence)}, {"NRITEMORCEVE", Text(item)},
                            {"NROPCAITOREV", Text(option)}, {"CDPRODUTO", product}, {"NMPRODUTO", unregistered ? QVariant(Text(unregistered)) : QVariant()},
                            {"QTITEMORCEVE", quantity}, {"VRITEMORCEVE", value}, {"VRDESCITOREV", discount}, {"VRACREITOREV", 0.0}});
}

void Labour(QSqlDatabase& db, const char* number, const char* branch = "0001", const char* sequence = "01")
{
    Insert(db, "MAOOBRA", {{"CDFILIAL", Text(branch)}, {"NRORCAEVENTO", Text(number)}, {"NRSEQORCAEVE", Text(sequence)}, {"NRTURNO", u"01"_s}, {"DSTURNO", u"Noite"_s},
                           {"CDPRODUTO", u"L001"_s}, {"QTPRODMOBRA", 6.0}, {"VRCOBRMOBRA", 150.0}, {"VRPAGOMOBRA", 100.0}});
}

void HallOf(QSqlDatabase& db, const char* number, const char* hall, double price, const char* state = "R", const char* branch = "0001")
{
    Insert(db, "SALAOORCA", {{"CDFILIAL", Text(branch)}, {"NRORCAEVENTO", Text(number)}, {"NRSEQORCAEVE", u"01"_s}, {"CDSALAOEVEN", Text(hall)}, {"IDSITAGENSAL", Text(state)},
                             {"NRRESERSALAO", u"01"_s}, {"VRCOBAGENSALAO", price}, {"VRPEACRSALEV", 0.0}, {"DTAGENDSALAO", u"2026-11-20T10:00:00"_s},
                             {"DTVALRESESAL", u"2026-12-31T00:00:00"_s}, {"CDOPERADOR", u"OPER1"_s}});
}

// A quote that its contracting client pays in full.
void Contractor(QSqlDatabase& db, const char* branch, const char* number, const char* client, double guests)
{
    const TQuoteKey key{QString::fromLatin1(branch), QString::fromLatin1(number), QStringLiteral("01")};
    const double value = std::round(Totals(db, key).net() * 100) / 100;
    Insert(db, "CONTRATANTE", {{"CDFILIAL", Text(branch)}, {"NRORCAEVENTO", Text(number)}, {"NRSEQORCAEVE", u"01"_s}, {"CDCLIENCONTORCA", Text(client)},
                               {"QTCONVCONTOREV", guests}, {"VRRECECONTOREV", value}, {"IDFORMAPGCONT", u"B"_s}, {"IDSITUCONTOREV", u"A"_s}});
    Run(db, QStringLiteral("UPDATE ORCAEVENTO SET CDCLICONTORC = ? WHERE CDFILIAL = ? AND NRORCAEVENTO = ?"), {Text(client), Text(branch), Text(number)});
}

void Order(QSqlDatabase& db, const char* number, const char* quote, const char* department, const char* state, const char* product, double quantity)
{
    Insert(db, "PEDIDO", {{"NRPEDIDO", Text(number)}, {"CDFILIAL", u"0001"_s}, {"NRORCAEVENTO", Text(quote)}, {"NRSEQORCAEVE", u"01"_s}, {"IDDEPTO", Text(department)},
                          {"IDSITUPED", Text(state)}, {"IDTIPOGER", u"O"_s}, {"CDOPERADOR", u"OPER1"_s}, {"DTPEDIDO", u"2026-11-25T09:00:00"_s}});
    Insert(db, "ITEMPEDIDO", {{"NRPEDIDO", Text(number)}, {"CDPRODUTO", Text(product)}, {"QTITEM", quantity}, {"VRITEM", 1.5}});
}

} // namespace

void InsertBranch(QSqlDatabase& db, const QString& code, const QString& name, bool orderParameters)
{
    Insert(db, "FILIAL", {{"CDFILIAL", code}, {"NMFILIAL", name}});
    const char* all = "APROVAR FECHAR EXECUTAR";
    Insert(db, "PARAMORCA", {{"CDFILIAL", code}, {"CDPROCHABLANORE", u"APROVAR"_s}, {"CDPROCHABAPRORE", Text(all)}, {"CDPROCHABFECORE", u"FECHAR EXECUTAR"_s},
                             {"IDAPROVORCFILANTPAI", u"N"_s}, {"IDUTLPROPOSTAPGTO", u"S"_s}, {"IDETAPENDENTINF", u"S"_s}, {"IDORIGPRUNITORE", u"T"_s},
                             {"IDAGENDASALAO", u"S"_s}, {"IDLOCAVALESTORE", u"N"_s}, {"IDTPTRATDESCORE", u"A"_s}, {"IDUTAPROVCOMORE", u"S"_s},
                             {"IDGERREQEXECORE", u"P"_s}, {"CDPBASEITEM", u"01"_s}, {"IDTPPRODPEDOREV", orderParameters ? QVariant(u"O"_s) : QVariant()},
                             {"IDOBRTPOPPED", u"S"_s}, {"CDTIPOOPER", u"01"_s}, {"CDSERIE", u"1"_s}, {"CDTPCTREC", u"001"_s}, {"CDAJUSTEREC", u"001"_s},
                             {"CDTPCUSTEXP", u"001"_s}, {"VRCUSTOFIXOPERC", 12.0}, {"QTMINAUTSUPORE", 60}});
}

void InitDemo(TStore& store)
{
    store.migrate();
    if (!store.isEmpty())
        return;
    store.transaction([](QSqlDatabase& db) {
        InsertBranch(db, u"0001"_s, u"Buffet Central"_s, true);
        InsertBranch(db, u"0002"_s, u"Buffet Norte"_s, false);
        Places(db);

        for (auto [code, name, job, boss, ceiling] : {std::tuple{"G01", "Gerente Geral", "G", QVariant(), 30.0},
                                                      {"S01", "Supervisora Ana", "S", QVariant(u"G01"_s), 20.0},
                                                      {"V01", "Vendedor Bruno", "V", QVariant(u"S01"_s), 10.0},
                                                      {"V02", "Vendedora Carla", "V", QVariant(u"S01"_s), 5.0}})
            Insert(db, "VENDEDOR", {{"CDVENDEDOR", Text(code)}, {"NMFANVEN", Text(name)}, {"NMRAZSOCVEN", Text(name)},
                                    {"IDCARGOVEND", Text(job)}, {"CDVENDEDORSUP", boss}, {"VRPEMAXDESVE", ceiling}});
        const char* all = "APROVAR FECHAR EXECUTAR";
        Operator(db, "OPER1", "Bruno Lima", "oper1", u"V01"_s, "S", all, {"0001"});
        Operator(db, "SUP1", "Ana Souza", "sup1", u"S01"_s, "S", all, {"0001"});
        Operator(db, "GER1", "Gerente Geral", "ger1", u"G01"_s, "S", all, {"0001", "0002"});
        Operator(db, "OPER2", "Carla Dias", "oper2", u"V02"_s, "N", nullptr, {"0002"});   // the branch's default rights

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

        Product(db, "P001", "Salgados variados", "UN", u"P"_s, 1.5, "001");
        Product(db, "P002", "Bolo de festa", "UN", u"P"_s, 120.0, "002");
        Product(db, "M001", "Farinha de trigo", "KG", u"M"_s, 5.0, "003");
        Product(db, "M002", "Açúcar", "KG", u"M"_s, 4.0, "003");
        Product(db, "M003", "Refrigerante 2L", "UN", u"M"_s, 8.0, "004");
        Product(db, "L001", "Garçom", "HR", QVariant(), 150.0, "005");
        Product(db, "X001", "Decoração floral", "UN", QVariant(), 500.0, "006");
        Product(db, "X002", "Doces finos", "UN", u"P"_s, QVariant(), "002");
        Insert(db, "COMPOSICAO", {{"CDPRODUTO", u"P002"_s}, {"CDPRODCOMP", u"M001"_s}, {"QTCOMPOSICAO", 2.0}});
        Insert(db, "COMPOSICAO", {{"CDPRODUTO", u"P002"_s}, {"CDPRODCOMP", u"M002"_s}, {"QTCOMPOSICAO", 1.0}});

        // Pending quotes.
        auto basic = [&](const char* number, const char* hall = "001") {
            Item(db, number, "0000000001", "01", u"P001"_s, 200, 1.5);
            Item(db, number, "0000000002", "01", u"M003"_s, 20, 8);
            Labour(db, number);
            if (hall)
                HallOf(db, number, hall, 3000);
        };
        Quote(db, {.number = "0000000101", .title = "Casamento Alfa"});
        basic("0000000101");
        Quote(db, {.number = "0000000101", .sequence = "02", .title = "Casamento Alfa, versão econômica"});
        Item(db, "0000000101", "0000000001", "01", u"P001"_s, 120, 1.5, 0, nullptr, "0001", "02");
        Labour(db, "0000000101", "0001", "02");

        Quote(db, {.number = "0000000102", .title = "Formatura Beta", .client = "J44555666000199", .event = "2027-04-02T21:00:00"});
        Item(db, "0000000102", "0000000001", "01", u"P001"_s, 300, 1.5);
        Item(db, "0000000102", "0000000002", "02", u"P002"_s, 2, 120);
        Item(db, "0000000102", "0000000003", "02", u"M003"_s, 40, 8);
        Labour(db, "0000000102");
        HallOf(db, "0000000102", "001", 3000);
        HallOf(db, "0000000102", "003", 1500);

        Quote(db, {.number = "0000000103", .title = "Aniversário Maria", .client = "F12345678909", .event = "2027-04-10T19:00:00", .discount = 900});
        Item(db, "0000000103", "0000000001", "01", u"P001"_s, 200, 1.5, 60);   // 20% on this item
        Item(db, "0000000103", "0000000002", "01", u"M003"_s, 20, 8);
        Labour(db, "0000000103");
        HallOf(db, "0000000103", "004", 800);

        Quote(db, {.number = "0000000104", .title = "Confraternização Gama", .clientState = "N", .event = "2027-04-15T20:00:00"});
        basic("0000000104", "003");
        Insert(db, "ENDENOVOCLIE", {{"CDFILIAL", u"0001"_s}, {"NRORCAEVENTO", u"0000000104"_s}, {"NRSEQORCAEVE", u"01"_s}, {"NRINSJURORCA", u"99888777000166"_s},
                                    {"IDTPINJUORCA", u"J"_s}, {"NMRAZSOCCLIE", u"Gama Eventos Ltda"_s}, {"NMFANTCLIE", u"Gama Eventos"_s},
                                    {"DSENDECLIORE", u"Rua da Hora, 300"_s}, {"NMBAIRCLIORE", u"Espinheiro"_s}, {"CDPAIS", u"1058"_s}, {"SGESTADO", u"PE"_s},
                                    {"CDMUNICIPIO", u"2611"_s}, {"CDBAIRRO", u"0000000002"_s}, {"NRTELECLIORE", u"8132220000"_s}});

        Quote(db, {.number = "0000000106", .title = "Festa original Delta", .event = "2027-05-01T20:00:00"});
        basic("0000000106", "003");
        Quote(db, {.number = "0000000105", .title = "Festa Delta, filho", .event = "2027-05-02T20:00:00", .parent = "0000000106"});
        basic("0000000105", "003");

        Quote(db, {.number = "0000000107", .title = "Coquetel sem equipe", .event = "2027-05-05T18:00:00"});
        Item(db, "0000000107", "0000000001", "01", u"P001"_s, 100, 1.5);
        HallOf(db, "0000000107", "003", 1500);

        Quote(db, {.number = "0000000108", .title = "Jantar sem endereço", .event = "2027-05-08T20:00:00", .address = false});
        basic("0000000108", "003");

        Quote(db, {.number = "0000000109", .title = "Festa com escultura", .event = "2027-05-12T20:00:00"});
        basic("0000000109", "003");
        Item(db, "0000000109", "0000000003", "01", QVariant(), 1, 900, 0, "Escultura de gelo");

        Quote(db, {.number = "0000000110", .title = "Casamento com propostas", .event = "2027-05-20T20:00:00"});
        basic("0000000110", "003");
        for (auto [number, rate, parts, value, down] : {std::tuple{"0000000001", 0.0, 3.0, 1200.0, 500.0}, {"0000000002", 1.5, 10.0, 420.0, 0.0}})
            Insert(db, "PROPOSTAPGTO", {{"CDFILIAL", u"0001"_s}, {"NRORCAEVENTO", u"0000000110"_s}, {"NRSEQORCAEVE", u"01"_s}, {"NRPROPOSTAPGTO", Text(number)},
                                        {"VRPERCJUROSORCA", rate}, {"QTPARCELASORCA", parts}, {"VRPARCELAORCA", value}, {"VRPARCELAENTR", down},
                                        {"DTPRIMVENCPARC", u"2027-01-10T00:00:00"_s}, {"IDTPFORMPGTOREV", u"B"_s}, {"DTINCALTPROPOSTA", u"2026-11-20T10:00:00"_s}});
        Run(db, u"UPDATE NUMERADOR SET NRULTIMO = 2 WHERE NMCHAVE = 'PROPOSTAPGTO'"_s);

        // A hall whose daily limit nobody set up: the hall check stops its approval.
        Quote(db, {.number = "0000000112", .title = "Luau na varanda", .event = "2027-05-25T20:00:00"});
        basic("0000000112", "005");

        // Hall 002 is held on 2027-03-20 from 19:00 to 23:00 by an approved quote.
        Quote(db, {.number = "0000000900", .situation = "2", .title = "Bodas já agendadas", .event = "2027-03-20T19:00:00", .hours = 4});
        basic("0000000900", nullptr);
        HallOf(db, "0000000900", "002", 2000, "A");
        Insert(db, "AGENDASALAO", {{"CDFILIAL", u"0001"_s}, {"CDSALAOEVEN", u"002"_s}, {"DTINICIO", u"2027-03-20T19:00:00"_s}, {"DTFIM", u"2027-03-20T23:00:00"_s},
                                   {"NRORCAEVENTO", u"0000000900"_s}, {"NRSEQORCAEVE", u"01"_s}});
        Quote(db, {.number = "0000000111", .title = "Noivado no terraço", .event = "2027-03-20T20:00:00", .hours = 3});
        basic("0000000111", "002");

        // Approved quotes, with their contracting clients.
        Quote(db, {.number = "0000000201", .situation = "2", .title = "Bodas Souza", .client = "F12345678909", .event = "2027-06-01T20:00:00"});
        basic("0000000201", nullptr);
        Contractor(db, "0001", "0000000201", "F12345678909", 150);
        Quote(db, {.branch = "0002", .number = "0000000202", .situation = "2", .title = "Festa na filial Norte", .event = "2027-06-05T20:00:00"});
        Item(db, "0000000202", "0000000001", "01", u"P001"_s, 100, 1.5, 0, nullptr, "0002");
        Labour(db, "0000000202", "0002");
        Contractor(db, "0002", "0000000202", "J11222333000181", 150);

        // Closed quotes.
        Quote(db, {.number = "0000000301", .situation = "3", .title = "Formatura pronta", .event = "2027-07-01T20:00:00"});
        basic("0000000301", nullptr);
        Item(db, "0000000301", "0000000003", "01", u"P002"_s, 2, 120);
        Quote(db, {.number = "0000000302", .situation = "3", .title = "Festa com pendências", .event = "2027-07-05T20:00:00"});
        basic("0000000302", nullptr);
        Item(db, "0000000302", "0000000003", "01", u"X001"_s, 1, 500);
        Item(db, "0000000302", "0000000004", "01", u"X002"_s, 100, 3);
        Quote(db, {.number = "0000000303", .situation = "3", .title = "Festa que cresceu", .event = "2027-07-10T20:00:00"});
        Item(db, "0000000303", "0000000001", "01", u"P001"_s, 150, 1.5);
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
        Run(db, u"UPDATE NUMERADOR SET NRULTIMO = 1000 WHERE NMCHAVE = 'PEDIDO'"_s);
    });
}
