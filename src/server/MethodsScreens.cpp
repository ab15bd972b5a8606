// The server objects of the other modules' screens that the module launches: client
// registration (ORE00105), payment proposal (ORE00406), contracting clients (ORE09000) and
// product registration (ORE06700).
#include "Authorization.h"
#include "Quote.h"
#include "Variants.h"

#include <QRegularExpression>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

constexpr const char* kContratantes = "CDCLIENCONTORCA s21, NMFANTCLIE s50, QTCONVCONTOREV f, VRRECECONTOREV f, IDFORMAPGCONT s1";

} // namespace

void RegisterScreens(TServerObjects& o)
{
    TServerObjects::TObject cliente = o.Object(ServerObject::Cliente);
    TServerObjects::TObject proposta = o.Object(ServerObject::Proposta);
    
    // Registers a client (code: kind and registration number) with its main address; with a
    // quote key, links the quote's new client to it.
    cliente.Write(u"CadastraCliente"_s, 13, u"Cadastro do cliente"_s, {.right = "APROVAR FECHAR", .quote = kQuoteFirst}, [](TCall& c) -> QVariant {
        const QString kind = c.text(3).trimmed().toUpper(), registration = c.text(4).trimmed();
        if (kind != QLatin1String("J") && kind != QLatin1String("F"))
            throw ERefusal(QStringLiteral("O tipo de inscrição deve ser J (jurídica) ou F (física)."));
        if (registration.isEmpty() || !registration.contains(QRegularExpression(QStringLiteral("^[0-9]{11,14}$"))))
            throw ERefusal(QStringLiteral("A inscrição deve ter de 11 a 14 dígitos."));
        if (c.text(6).trimmed().isEmpty())
            throw ERefusal(QStringLiteral("O nome fantasia do cliente deve ser informado."));
        const QString code = kind + registration;
        if (Scalar(c.db, QStringLiteral("SELECT COUNT(*) FROM CLIENTE WHERE CDCLIENTE = ?"), {code}).toInt() == 0) {
            Run(c.db, QStringLiteral("INSERT INTO CLIENTE (CDCLIENTE, NMFANTCLIE, NMRAZSOCCLIE, NRINSJURCLIE, IDTPIJURCLIE) VALUES (?, ?, ?, ?, ?)"),
                {code, c.text(6), c.text(5), registration, kind});
            Run(c.db, QStringLiteral("INSERT INTO ENDECLIE (CDCLIENTE, NRENDCLIE, IDTPENDECLIE, DSENDECLIE, DSCOMPENDCLI, CDPAIS, SGESTADO, CDMUNICIPIO, CDBAIRRO) "
                                     "VALUES (?, 1, 'P', ?, ?, ?, ?, ?, ?)"),
                {code, c.text(7), c.text(8), c.text(9), c.text(10), c.text(11), c.text(12)});
        }
        const TQuoteKey key = KeyOf(c, 0);
        if (!key.number.isEmpty()) {
            RequireQuote(c.db, key);
            Run(c.db, QStringLiteral("UPDATE ENDENOVOCLIE SET NRINSJURORCA = ?, IDTPINJUORCA = ?") + kWhereKey, {registration, kind, key.branch, key.number, key.sequence});
            // The quote's client is now a registered one.
            Run(c.db, QStringLiteral("UPDATE ORCAEVENTO SET CDCLIENTE = ?, IDSITCLIOREV = 'C'") + kWhereKey, {code, key.branch, key.number, key.sequence});
        }
        return code;
    });

    // Records a proposal, which becomes the quote's newest; answers its number.
    proposta.Write(u"GravaProposta"_s, 8, u"Proposta de pagamento"_s, {.right = "APROVAR", .quote = kQuoteFirst}, [](TCall& c) -> QVariant {
        const TQuoteKey key = KeyOf(c);
        RequireQuote(c.db, key);
        const double rate = c.number(3), instalments = c.number(4), value = c.number(5), down = c.number(6);
        if (instalments < 1 || instalments != std::floor(instalments))
            throw ERefusal(QStringLiteral("A quantidade de parcelas deve ser um número inteiro maior que zero."));
        if (rate < 0 || value <= 0 || down < 0)
            throw ERefusal(QStringLiteral("Juros e entrada não podem ser negativos, e o valor da parcela deve ser maior que zero."));
        const QString number = NextNumber(c.db, QStringLiteral("PROPOSTAPGTO"), 10);
        Run(c.db, QStringLiteral("INSERT INTO PROPOSTAPGTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRPROPOSTAPGTO, VRPERCJUROSORCA, QTPARCELASORCA, "
                                 "VRPARCELAORCA, VRPARCELAENTR, DTPRIMVENCPARC, IDTPFORMPGTOREV, DTINCALTPROPOSTA) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 'B', ?)"),
            {key.branch, key.number, key.sequence, number, rate, instalments, value, down, c.date(7).toString(Qt::ISODate) + QStringLiteral("T00:00:00"), Now()});
        return number;
    });

    // The quote's contracting clients, and the clients to choose from.
    TServerObjects::TObject cont = o.Object(ServerObject::Contratante);
    cont.Read(u"ListaContratantes"_s, 3, u"Lista de contratantes"_s, {.quote = kQuoteFirst}, [](TCall& c) {
        return Pack(SelectByKey(c, kContratantes,
                                u"SELECT K.CDCLIENCONTORCA, C.NMFANTCLIE, K.QTCONVCONTOREV, K.VRRECECONTOREV, K.IDFORMAPGCONT FROM CONTRATANTE K "
                                 "JOIN CLIENTE C ON C.CDCLIENTE = K.CDCLIENCONTORCA WHERE K.CDFILIAL = ? AND K.NRORCAEVENTO = ? AND K.NRSEQORCAEVE = ? "
                                 "ORDER BY K.CDCLIENCONTORCA"_s));
    });
    cont.Read(u"ListaClientes"_s, 0, u"Lista de clientes"_s, {}, [](TCall& c) {
        return Pack(Select(c.db, "CDCLIENTE s21, NMFANTCLIE s50, NRINSJURCLIE s20", u"SELECT CDCLIENTE, NMFANTCLIE, NRINSJURCLIE FROM CLIENTE ORDER BY NMFANTCLIE"_s));
    });
    cont.Write(u"GravaContratante"_s, 7, u"Contratante"_s, {.right = "FECHAR", .quote = kQuoteFirst}, [](TCall& c) -> QVariant {
        const TQuoteKey key = KeyOf(c);
        RequireQuote(c.db, key);
        const QString client = c.text(3).trimmed();
        if (Scalar(c.db, QStringLiteral("SELECT COUNT(*) FROM CLIENTE WHERE CDCLIENTE = ?"), {client}).toInt() == 0)
            throw ERefusal(QStringLiteral("Cliente %1 não cadastrado.").arg(client));
        const double guests = c.number(4), value = c.number(5);
        if (guests < 0 || value < 0)
            throw ERefusal(QStringLiteral("Convidados e valor não podem ser negativos."));
        QVariantList params = key.params();
        params << client;
        Run(c.db, QStringLiteral("DELETE FROM CONTRATANTE") + kWhereKey + QStringLiteral(" AND CDCLIENCONTORCA = ?"), params);
        Run(c.db, QStringLiteral("INSERT INTO CONTRATANTE (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, CDCLIENCONTORCA, QTCONVCONTOREV, VRRECECONTOREV, IDFORMAPGCONT, "
                                 "IDSITUCONTOREV) VALUES (?, ?, ?, ?, ?, ?, ?, 'A')"),
            {key.branch, key.number, key.sequence, client, guests, value, c.text(6)});
        return true;
    });
    cont.Write(u"ExcluiContratante"_s, 4, u"Contratante excluído"_s, {.right = "FECHAR", .quote = kQuoteFirst}, [](TCall& c) -> QVariant {
        const TQuoteKey key = KeyOf(c);
        RequireQuote(c.db, key);
        QVariantList params = key.params();
        params << c.text(3);
        Run(c.db, QStringLiteral("DELETE FROM CONTRATANTE") + kWhereKey + QStringLiteral(" AND CDCLIENCONTORCA = ?"), params);
        return true;
    });

    // The quote's items without a registered product, the products, and linking or creating one.
    TServerObjects::TObject prod = o.Object(ServerObject::Produto);
    prod.Read(u"ItensSemProduto"_s, 3, u"Itens sem produto"_s, {.quote = kQuoteFirst}, [](TCall& c) {
        return Pack(SelectByKey(c, "NRITEMORCEVE s10, NMPRODUTO s50, QTITEMORCEVE f, VRITEMORCEVE f",
                                u"SELECT NRITEMORCEVE, NMPRODUTO, QTITEMORCEVE, VRITEMORCEVE FROM ITEMORCA"_s + kWhereKey +
                                    u" AND CDPRODUTO IS NULL ORDER BY NRITEMORCEVE"_s));
    });
    prod.Read(u"ListaProdutos"_s, 0, u"Lista de produtos"_s, {}, [](TCall& c) {
        return Pack(Select(c.db, "CDPRODUTO s10, NMPRODUTO s50, SGUNIDADE s10, IDDEPTO s1, VRPRECO f",
                           u"SELECT CDPRODUTO, NMPRODUTO, SGUNIDADE, IDDEPTO, VRPRECO FROM PRODUTO ORDER BY NMPRODUTO"_s));
    });
    prod.Write(u"VinculaProduto"_s, 5, u"Produto vinculado"_s, {.right = "APROVAR FECHAR", .quote = kQuoteFirst, .check = RequireProductRegistration}, [](TCall& c) -> QVariant {
        const TQuoteKey key = KeyOf(c);
        RequireQuote(c.db, key);
        const QString product = c.text(4);
        if (Scalar(c.db, QStringLiteral("SELECT COUNT(*) FROM PRODUTO WHERE CDPRODUTO = ?"), {product}).toInt() == 0)
            throw ERefusal(QStringLiteral("Produto %1 não cadastrado.").arg(product));
        QVariantList params{product};
        params << key.params() << c.text(3);
        if (Run(c.db, QStringLiteral("UPDATE ITEMORCA SET CDPRODUTO = ?") + kWhereKey + QStringLiteral(" AND NRITEMORCEVE = ?"), params)
                .numRowsAffected() == 0)
            throw ERefusal(QStringLiteral("Item %1 não encontrado no orçamento.").arg(c.text(3)));
        return true;
    });
    prod.Write(u"CriaProduto"_s, 4, u"Produto cadastrado"_s, {.right = "APROVAR FECHAR", .check = RequireProductRegistration}, [](TCall& c) -> QVariant {
        const QString name = c.text(0).trimmed(), department = c.text(2).trimmed().toUpper();
        if (name.isEmpty())
            throw ERefusal(QStringLiteral("O nome do produto deve ser informado."));
        if (!department.isEmpty() && department != QLatin1String("P") && department != QLatin1String("M"))
            throw ERefusal(QStringLiteral("O departamento deve ser P (produção), M (materiais) ou vazio."));
        const double price = c.number(3);
        const QString code = QStringLiteral("N") + NextNumber(c.db, QStringLiteral("PRODUTO"), 5);
        Run(c.db, QStringLiteral("INSERT INTO PRODUTO (CDPRODUTO, CDARVPROD, NMPRODUTO, SGUNIDADE, CDGRTOTAPROD, IDDEPTO, VRPRECO) VALUES (?, ?, ?, ?, '006', ?, ?)"),
            {code, QStringLiteral("09.") + code, name, c.text(1), department.isEmpty() ? QVariant() : QVariant(department), price > 0 ? QVariant(price) : QVariant()});
        return code;
    });
}
