// Reading a quote and the checks made before writing anything.
#include "Quote.h"
#include "Variants.h"

#include <QSqlQuery>

#include <map>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr const char* kItens =
    "CDFILIAL s4, NRORCAEVENTO s10, NRITEMORCEVE s10, CDPRODUTO s10, NMSUBGRPROD s40, QTITEMORCEVE f, VRITEMORCEVE f, "
    "VRDESCITOREV f, IDITOREVPROD s1, NROPCAITOREV s2, CDGRTOTAPROD s3, CDARVPROD s20, NMPRODUTO s50, SGUNIDADE s10, "
    "VRACREITOREV f, NRSEQORCAEVE s2";
constexpr const char* kMaoObra =
    "CDFILIAL s4, NRORCAEVENTO s10, NRTURNO s2, CDPRODUTO s10, QTPRODMOBRA f, VRCOBRMOBRA f, VRPAGOMOBRA f, CDARVPROD s20, "
    "SGUNIDADE s10, NMPRODUTO s50, DSTURNO s20, CDGRTOTAPROD s3, NRSEQORCAEVE s2";
constexpr const char* kEndeNovoClie =
    "CDFILIAL s4, NRORCAEVENTO s10, NRSEQORCAEVE s2, NRINSJURORCA s20, IDTPINJUORCA s1, CDPAIS s4, SGESTADO s2, CDMUNICIPIO s4, "
    "DSENDECLIORE s50, NMBAIRCLIORE s30, DSCOENDCLORE s200, NRCEPCLIEORE s15, NRTELEXCLIOR s25, NRRAMACLIORE s4, NRTELECLIORE s25, "
    "NRFAXCLIEORE s25, NMCONTCLIORE s30, NRTELECLIOR1 s25, NRRAMACLIOR1 s4, CDBAIRRO s10, NRCELCLIORE1 s25, NRTELERESOR1 s25, "
    "DSPTOREFEORE s30, DSEMAILCLOR1 s50, DSEMAILCLOR2 s50, NMPAIS s30, NMESTADO s30, NMMUNICIPIO s30, NMBAIRRO s50, "
    "NMFANTCLIE s50, NMRAZSOCCLIE s50";
constexpr const char* kEndContOrca =
    "DSCOMPENDORCEVE s200, CDFILIAL s4, NRORCAEVENTO s10, NRSEQORCAEVE fs2, CDPAIS s4, NMPAIS s30, SGESTADO s2, CDMUNICIPIO s4, "
    "NMMUNICIPIO s30, CDBAIRRO s10, NMBAIRRO s50, DSENDENTOREV s50, CDCLICONTORC s21, NRINSJURCONT s20, NMFANTCONT s50, "
    "DSREFENDOREV s50, IDSITUORCEVE s1, IDTPIJURCONT s1, IDENDENTOREV s1";
constexpr const char* kPropostaPgto =
    "CDFILIAL s4, NRORCAEVENTO s10, NRSEQORCAEVE fs2, NRPROPOSTAPGTO s10, VRPERCJUROSORCA f, QTPARCELASORCA f, VRPARCELAORCA f, "
    "VRPARCELAENTR f, DTPRIMVENCPARC t, IDTPFORMPGTOREV s1, DTINCALTPROPOSTA t";
constexpr const char* kParamOrca =
    "IDAPROVORCFILANTPAI fs1, IDUTLPROPOSTAPGTO fs1, IDETAPENDENTINF s1, IDORIGPRUNITORE s1, IDAGENDASALAO s10, "
    "IDLOCAVALESTORE s5, IDTPTRATDESCORE s1, IDUTAPROVCOMORE s1";
constexpr const char* kCliente =
    "DSCOMPENDCLI s200, DSPTOREFECLI s30, DSENDECLIE s50, CDPAIS s4, NMPAIS s30, SGESTADO s2, NMESTADO s30, CDMUNICIPIO s4, "
    "NMMUNICIPIO s30, CDBAIRRO s10, NMBAIRRO s50, CDCLIENTE s21, IDTPENDECLIE s1";
constexpr const char* kEndeClie =
    "DSCOMPENDCLI s200, DSENDECLIE s50, NMBAIRRO s50, NMMUNICIPIO s30, SGESTADO s2, NMPAIS s30, CDPAIS s4, CDMUNICIPIO s4, "
    "CDBAIRRO s10, DSPTOREFECLI s30, NMCONTCLIE s30";
constexpr const char* kEndSalao =
    "CDSALAOEVEN s3, NMSALAOEVEN s50, CDPAIS s4, SGESTADO s2, CDMUNICIPIO s4, DSENDSALAOEV s50, DSCOMPENDSAL s200, "
    "NRCEPSALAOEV s15, NRRAMASALAEV s4, NRFAXSALAOEV s25, NMCONTSALAEV s30, NRTELESALEV1 s25, NRRAMASALEV1 s4, CDBAIRRO s10, "
    "NRCELSALAEV1 s25, DSPTOREFESAL s30, DSEMAILSALA1 s50, DSEMAILSALA2 s50, NMPAIS s30, NMMUNICIPIO s30, NMESTADO s30, NMBAIRRO s50";

// Joins that name a row's country, state, municipality and district (alias A holds the codes).
QString Places(const char* a)
{
    return QStringLiteral("LEFT JOIN PAIS P ON P.CDPAIS = %1.CDPAIS "
                          "LEFT JOIN ESTADO E ON E.CDPAIS = %1.CDPAIS AND E.SGESTADO = %1.SGESTADO "
                          "LEFT JOIN MUNICIPIO M ON M.CDPAIS = %1.CDPAIS AND M.SGESTADO = %1.SGESTADO AND M.CDMUNICIPIO = %1.CDMUNICIPIO "
                          "LEFT JOIN BAIRRO B ON B.CDPAIS = %1.CDPAIS AND B.SGESTADO = %1.SGESTADO AND B.CDMUNICIPIO = %1.CDMUNICIPIO AND B.CDBAIRRO = %1.CDBAIRRO ")
        .arg(QString::fromLatin1(a));
}


// GetGeral's eight packets. The items are read once; the groups, the options and the totals
// are summed from them on the way.
QVariant General(TCall& c, const TQuoteKey& key)
{
    TRows quote = Run(c.db, u"SELECT VRDESCORCEVE, TXOBSEXTOREV FROM ORCAEVENTO"_s + kWhereKey, key.params());
    if (!quote.next())
        throw ERefusal(QStringLiteral("Orçamento %1 não encontrado.").arg(key.text()));
    const double quoteDiscount = quote.value(0).toDouble();
    std::vector<CellRow> notes;
    if (!quote.isNull(1))
        notes.push_back({key.branch, key.number, key.sequence, quote.value(1).toByteArray()});

    const TDataPacket items = Select(c.db, kItens,
                                     u"SELECT I.CDFILIAL, I.NRORCAEVENTO, I.NRITEMORCEVE, I.CDPRODUTO, I.QTITEMORCEVE, I.VRITEMORCEVE, I.VRDESCITOREV, "
                                      "I.NROPCAITOREV, P.CDGRTOTAPROD, P.CDARVPROD, COALESCE(P.NMPRODUTO, I.NMPRODUTO) AS NMPRODUTO, P.SGUNIDADE, "
                                      "I.VRACREITOREV, I.NRSEQORCAEVE FROM ITEMORCA I LEFT JOIN PRODUTO P ON P.CDPRODUTO = I.CDPRODUTO "
                                      "WHERE I.CDFILIAL = ? AND I.NRORCAEVENTO = ? AND I.NRSEQORCAEVE = ? ORDER BY I.NROPCAITOREV, I.NRITEMORCEVE"_s,
                                     key.params());
    TQuoteTotals t;
    std::map<std::optional<QString>, double> groups;   // a group of no product first
    std::map<QString, double> options;
    {
        const int quantity = items.fieldIndex(u"QTITEMORCEVE"_s), value = items.fieldIndex(u"VRITEMORCEVE"_s), discount = items.fieldIndex(u"VRDESCITOREV"_s),
                  surcharge = items.fieldIndex(u"VRACREITOREV"_s), group = items.fieldIndex(u"CDGRTOTAPROD"_s), option = items.fieldIndex(u"NROPCAITOREV"_s);
        auto number = [](const Cell& cell) { return std::holds_alternative<double>(cell) ? std::get<double>(cell) : 0.0; };
        for (const CellRow& row : items.rows()) {
            const bool priced = !CellIsNull(row[size_t(quantity)]) && !CellIsNull(row[size_t(value)]);
            const double gross = number(row[size_t(quantity)]) * number(row[size_t(value)]);
            const double net = gross + number(row[size_t(surcharge)]) - number(row[size_t(discount)]);
            t.items += gross;
            t.surcharges += number(row[size_t(surcharge)]);
            t.discounts += number(row[size_t(discount)]);
            const Cell& g = row[size_t(group)];
            groups[CellIsNull(g) ? std::nullopt : std::optional<QString>(std::get<QString>(g))] += priced ? net : 0.0;
            const Cell& o = row[size_t(option)];
            options[CellIsNull(o) ? QString() : std::get<QString>(o)] += priced ? net : 0.0;
        }
    }
    std::vector<CellRow> groupRows, optionRows;
    for (const auto& [group, total] : groups)
        groupRows.push_back({key.branch, key.number, key.sequence, group ? Cell(*group) : Cell{}, total});
    for (const auto& [option, total] : options)
        optionRows.push_back({key.branch, key.number, key.sequence, option, total});

    const TDataPacket labour = Select(c.db, kMaoObra,
                                      u"SELECT L.CDFILIAL, L.NRORCAEVENTO, L.NRTURNO, L.CDPRODUTO, L.QTPRODMOBRA, L.VRCOBRMOBRA, L.VRPAGOMOBRA, "
                                       "P.CDARVPROD, P.SGUNIDADE, P.NMPRODUTO, L.DSTURNO, P.CDGRTOTAPROD, L.NRSEQORCAEVE FROM MAOOBRA L "
                                       "LEFT JOIN PRODUTO P ON P.CDPRODUTO = L.CDPRODUTO WHERE L.CDFILIAL = ? AND L.NRORCAEVENTO = ? AND L.NRSEQORCAEVE = ? "
                                       "ORDER BY L.NRTURNO, L.CDPRODUTO"_s,
                                      key.params());
    {
        const int quantity = labour.fieldIndex(u"QTPRODMOBRA"_s), charge = labour.fieldIndex(u"VRCOBRMOBRA"_s);
        for (const CellRow& row : labour.rows())
            if (std::holds_alternative<double>(row[size_t(quantity)]) && std::holds_alternative<double>(row[size_t(charge)]))
                t.labour += std::get<double>(row[size_t(quantity)]) * std::get<double>(row[size_t(charge)]);
    }
    t.halls = Scalar(c.db, u"SELECT COALESCE(SUM(VRCOBAGENSALAO), 0) FROM SALAOORCA"_s + kWhereKey, key.params()).toDouble();
    t.discounts += quoteDiscount;

    return VarArrayOf({
        Pack(items),
        Pack(TDataPacket(Layout("CDFILIAL s4, NRORCAEVENTO s10, NRSEQORCAEVE s2, CDGRTOTAPROD s3, VRTOTALGRUPO f"), std::move(groupRows))),
        Pack(TDataPacket(Layout("CDFILIAL s4, NRORCAEVENTO s10, NRSEQORCAEVE s2, NROPCAITOREV s2, VRTOTALOPCAO f"), std::move(optionRows))),
        Pack(TDataPacket(Layout("VRTOTALLIQ f, VRTOTALORCA f, VRTOTALITEM f, VRTOTALMAO f, VRSALAO f, VRDESCONTO f, VRACRESCIMO f"),
                         {{t.net(), t.gross(), t.items, t.labour, t.halls, t.discounts, t.surcharges}})),
        Pack(labour),
        Pack(TDataPacket(Layout("CDFILIAL s4, NRORCAEVENTO s10, NRSEQORCAEVE s2, TXOBSEXTOREV x"), std::move(notes))),
        Pack(TDataPacket(Layout("CDFILIAL s4, NRORCAEVENTO s10, CDDEPTO s3, NMDEPTO s30, TXOBSINTOREV x, NRSEQORCAEVE s2"), {})),
        Pack(Select(c.db, kEndeNovoClie,
                    u"SELECT N.*, P.NMPAIS, E.NMESTADO, M.NMMUNICIPIO, B.NMBAIRRO FROM ENDENOVOCLIE N "_s + Places("N") +
                        u"WHERE N.CDFILIAL = ? AND N.NRORCAEVENTO = ? AND N.NRSEQORCAEVE = ?"_s,
                    key.params())),
    });
}

TDataPacket OrcaEvento(TCall& c, const TQuoteKey& key)
{
    RequireQuote(c.db, key);
    return Select(c.db, kOrcaEvento,
                  u"SELECT O.DTEVENTO, O.VRDESCORCEVE, V.VRPEMAXDESVE, O.CDFILIAL, O.NRORCAEVENTO, O.IDSITCLIOREV, O.CDMODPGTO, "
                   "O.CDCLIENTE, O.CDCLICONTORC, O.DSENDENTOREV, O.CDPAIS, O.SGESTADO, O.CDMUNICIPIO, O.CDBAIRRO, O.DSREFENDOREV, "
                   "O.IDENDENTOREV, O.CDVENDEDOR, O.NRSEQORCAEVE FROM ORCAEVENTO O LEFT JOIN VENDEDOR V ON V.CDVENDEDOR = O.CDVENDEDOR "
                   "WHERE O.CDFILIAL = ? AND O.NRORCAEVENTO = ? AND O.NRSEQORCAEVE = ?"_s,
                  key.params());
}

} // namespace

void RegisterQuote(TServerObjects& o)
{
    TServerObjects::TObject proc = o.Object(ServerObject::ProcOrca);
    TServerObjects::TObject aprova = o.Object(ServerObject::AprovaOrca);
    TServerObjects::TObject fecha = o.Object(ServerObject::FechaOrca);
    TServerObjects::TObject exec = o.Object(ServerObject::ExecProc);

    proc.Read(u"GetOrcaEvento"_s, 3, u"Orçamento"_s, {.quote = kQuoteFirst}, [](TCall& c) { return Pack(OrcaEvento(c, KeyOf(c))); });

    proc.Read(u"GetPercDescVend"_s, 3, u"Desconto máximo do vendedor"_s, {.quote = kQuoteFirst}, [](TCall& c) {
        const TQuoteKey key = KeyOf(c);
        RequireQuote(c.db, key);
        return VarArrayOf({Pack(Select(c.db, "NRORCAEVENTO s10, NRSEQORCAEVE fs2, CDFILIAL s4, VRPEMAXDESVE f",
                                       u"SELECT O.NRORCAEVENTO, O.NRSEQORCAEVE, O.CDFILIAL, V.VRPEMAXDESVE FROM ORCAEVENTO O "
                                        "LEFT JOIN VENDEDOR V ON V.CDVENDEDOR = O.CDVENDEDOR WHERE O.CDFILIAL = ? AND O.NRORCAEVENTO = ? AND O.NRSEQORCAEVE = ?"_s,
                                       key.params())),
                           Pack(Select(c.db, kParamOrca, u"SELECT * FROM PARAMORCA WHERE CDFILIAL = ?"_s, {key.branch}))});
    });

    // Other quotes hanging from this one that are not executed yet.
    proc.Read(u"GetVerifOrcaExec"_s, 3, u"Orçamentos filhos não executados"_s, {.quote = kQuoteFirst}, [](TCall& c) {
        const TQuoteKey key = KeyOf(c);
        RequireQuote(c.db, key);
        return Pack(Select(c.db, "NRORCAEVENTO s10, IDSITUORCEVE s1",
                           u"SELECT NRORCAEVENTO, IDSITUORCEVE FROM ORCAEVENTO WHERE CDFILIAL = ? AND NRORCAPAI = ? "
                            "AND IDSITUORCEVE IN ('1', '2', '3') AND NOT (NRORCAEVENTO = ? AND NRSEQORCAEVE = ?) ORDER BY NRORCAEVENTO"_s,
                           {key.branch, key.number, key.number, key.sequence}));
    });

    proc.Read(u"GetEndContOrca"_s, 3, u"Endereço de entrega e contratante"_s, {.quote = kQuoteFirst}, [](TCall& c) {
        return Pack(SelectByKey(c, kEndContOrca,
                           u"SELECT O.DSCOMPENDORCEVE, O.CDFILIAL, O.NRORCAEVENTO, O.NRSEQORCAEVE, O.CDPAIS, P.NMPAIS, O.SGESTADO, O.CDMUNICIPIO, "
                            "M.NMMUNICIPIO, O.CDBAIRRO, B.NMBAIRRO, O.DSENDENTOREV, O.CDCLICONTORC, K.NRINSJURCLIE AS NRINSJURCONT, "
                            "K.NMFANTCLIE AS NMFANTCONT, O.DSREFENDOREV, O.IDSITUORCEVE, K.IDTPIJURCLIE AS IDTPIJURCONT, O.IDENDENTOREV "
                            "FROM ORCAEVENTO O LEFT JOIN CLIENTE K ON K.CDCLIENTE = O.CDCLICONTORC "_s + Places("O") +
                               u"WHERE O.CDFILIAL = ? AND O.NRORCAEVENTO = ? AND O.NRSEQORCAEVE = ?"_s));
    });

    // Everything the approval reads at once: items, totals, labour, notes and the new client.
    aprova.Read(u"GetGeral"_s, 3, u"Itens, totais e observações"_s, {.quote = kQuoteFirst}, [](TCall& c) { return General(c, KeyOf(c)); });

    aprova.Read(u"GetSalao"_s, 3, u"Salões do orçamento"_s, {.quote = kQuoteFirst}, [](TCall& c) {
        return Pack(SelectByKey(c, kSalaoEven, SalaoEvenSql()));
    });

    aprova.Read(u"GetOpcao"_s, 3, u"Opções do orçamento"_s, {.quote = kQuoteFirst}, [](TCall& c) {
        return Pack(SelectByKey(c, kOpcao, OpcaoSql()));
    });

    // The parent quote, while it is not approved.
    aprova.Read(u"GetVerifOrcaPend"_s, 4, u"Orçamento pai não aprovado"_s, {.quote = kQuoteFirst}, [](TCall& c) {
        return Pack(SelectByKey(c, "NRORCAEVENTO s10", PendingParentSql()));
    });

    // The registered client whose registration number the quote's new client carries.
    aprova.Read(u"GetInsOrca"_s, 3, u"Cliente do novo cadastro"_s, {.quote = kQuoteFirst}, [](TCall& c) {
        return Pack(SelectByKey(c, "CDCLIENTE s21, NRINSJURCLIE s20",
                           u"SELECT C.CDCLIENTE, C.NRINSJURCLIE FROM ENDENOVOCLIE N JOIN CLIENTE C ON C.NRINSJURCLIE = N.NRINSJURORCA "
                            "WHERE N.CDFILIAL = ? AND N.NRORCAEVENTO = ? AND N.NRSEQORCAEVE = ? AND N.NRINSJURORCA IS NOT NULL"_s));
    });

    aprova.Read(u"GetContrato"_s, 3, u"Contrato"_s, {.quote = kQuoteFirst}, [](TCall& c) {
        return Pack(SelectByKey(c, "CDFILIAL s4, NRORCAEVENTO s10, NRSEQORCAEVE s2, DSTITUORCEVE s100, CDCLIENTE s21, CDMODPGTO s5",
                           u"SELECT CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, DSTITUORCEVE, CDCLIENTE, CDMODPGTO FROM ORCAEVENTO"_s + kWhereKey));
    });

    aprova.Read(u"GetPropostasPgto"_s, 3, u"Propostas de pagamento"_s, {.quote = kQuoteFirst}, [](TCall& c) {
        return Pack(SelectByKey(c, kPropostaPgto, u"SELECT * FROM PROPOSTAPGTO"_s + kWhereKey + u" ORDER BY NRPROPOSTAPGTO"_s));
    });

    // "OK", or the first reserved hall that may not be booked, coded.
    aprova.Read(u"GetVerifSalao"_s, 4, u"Verificação dos salões"_s, {.quote = kQuoteFirst}, [](TCall& c) -> QVariant {
        const TQuoteKey key = KeyOf(c);
        RequireQuote(c.db, key);
        const QStringList chosen = TickedKeys(c.text(3));
        for (const QString& hall : ReservedHalls(c.db, key)) {
            if (!chosen.isEmpty() && !chosen.contains(hall))
                continue;
            if (const QString conflict = HallConflict(c, key, hall, false); !conflict.isEmpty())
                return conflict;
        }
        return QStringLiteral("OK");
    });

    aprova.Read(u"GetCliente"_s, 1, u"Endereço do cliente"_s, {}, [](TCall& c) {
        return Pack(Select(c.db, kCliente,
                           u"SELECT A.DSCOMPENDCLI, A.DSPTOREFECLI, A.DSENDECLIE, A.CDPAIS, P.NMPAIS, A.SGESTADO, E.NMESTADO, A.CDMUNICIPIO, "
                            "M.NMMUNICIPIO, A.CDBAIRRO, B.NMBAIRRO, A.CDCLIENTE, A.IDTPENDECLIE FROM ENDECLIE A "_s + Places("A") +
                               u"WHERE A.CDCLIENTE = ? AND A.IDTPENDECLIE = 'P'"_s,
                           {c.text(0)}));
    });
    aprova.Read(u"GetEndeClie"_s, 1, u"Endereços do cliente"_s, {}, [](TCall& c) {
        return Pack(Select(c.db, kEndeClie,
                           u"SELECT A.DSCOMPENDCLI, A.DSENDECLIE, B.NMBAIRRO, M.NMMUNICIPIO, A.SGESTADO, P.NMPAIS, A.CDPAIS, A.CDMUNICIPIO, "
                            "A.CDBAIRRO, A.DSPTOREFECLI, A.NMCONTCLIE FROM ENDECLIE A "_s + Places("A") + u"WHERE A.CDCLIENTE = ? ORDER BY A.NRENDCLIE"_s,
                           {c.text(0)}));
    });
    aprova.Read(u"GetEndSalao"_s, 3, u"Endereço dos salões"_s, {.quote = kQuoteFirst}, [](TCall& c) {
        const TQuoteKey key = KeyOf(c);
        return Pack(Select(c.db, kEndSalao,
                           u"SELECT H.*, P.NMPAIS, M.NMMUNICIPIO, E.NMESTADO, B.NMBAIRRO FROM SALAOORCA S "
                            "JOIN SALAO H ON H.CDFILIAL = S.CDFILIAL AND H.CDSALAOEVEN = S.CDSALAOEVEN "_s + Places("H") +
                               u"WHERE S.CDFILIAL = ? AND S.NRORCAEVENTO = ? AND S.NRSEQORCAEVE = ? ORDER BY S.CDSALAOEVEN"_s,
                           key.params()));
    });

    // The longer forms: a range of quote numbers, every sequence, by situation when given.
    auto longForm = [](int situationIndex) {
        return [situationIndex](TCall& c) {
            const QString situation = c.text(situationIndex).trimmed();
            QVariantList params{c.text(GetOrcaEventoRangeArg::Branch), c.text(GetOrcaEventoRangeArg::FirstNumber), c.text(GetOrcaEventoRangeArg::LastNumber)};
            if (!situation.isEmpty())
                params << situation;
            return VarArrayOf({Pack(Select(c.db, kLongQuote, LongQuoteSql(!situation.isEmpty()), params))});
        };
    };
    fecha.Read(u"GetOrcaEvento"_s, GetOrcaEventoRangeArg::CountClosing, u"Orçamentos a fechar"_s, {.branchArg = GetOrcaEventoRangeArg::Branch}, longForm(GetOrcaEventoRangeArg::Situation));
    exec.Read(u"GetOrcaEvento"_s, GetOrcaEventoRangeArg::CountExecution, u"Orçamentos a executar"_s, {.branchArg = GetOrcaEventoRangeArg::Branch}, longForm(GetOrcaEventoRangeArg::Situation));

    exec.Read(u"getParamOrcaEve"_s, 0, u"Parâmetros da execução"_s, {}, [](TCall& c) {
        return Pack(Select(c.db, "IDGERREQEXECORE s1, CDPBASEITEM s2, IDTPPRODPEDOREV s1, IDORIGPRUNITORE s1",
                           u"SELECT IDGERREQEXECORE, CDPBASEITEM, IDTPPRODPEDOREV, IDORIGPRUNITORE FROM PARAMORCA WHERE CDFILIAL = ?"_s,
                           {c.request.branch}));
    });
}
