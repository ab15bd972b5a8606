// ore-server check: what is wrong with a store, found by reading it only. Its schema's version
// against this program's, SQLite's own checks of its file, the rows whose references lead
// nowhere, and the journal's chain.
#include "Errors.h"
#include "Journal.h"
#include "ServerCommands.h"
#include "Store.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace {

// A reference from the rows of one table to those of another, by columns in the same order. A
// row whose referring columns are all set and that finds no row to refer to is an orphan.
struct TReference {
    const char* table;          // the rows that refer
    const char* key;            // their key's columns, shown joined by "/"
    const char* columns;        // the referring columns
    const char* target;         // the table referred to
    const char* targetColumns;  // its columns, in the order of `columns`
    const char* missing;        // what the orphan lacks, in words: "o orçamento"
    int since = 1;              // the schema version that brought the tables
};

constexpr const char* kQuote = "CDFILIAL,NRORCAEVENTO,NRSEQORCAEVE";

// Every reference the store's rows make, those declared to the database and those it does not
// hold (a quote's dependants name it by its key only).
const TReference kReferences[] = {
    {"ITEMORCA", "CDFILIAL,NRORCAEVENTO,NRSEQORCAEVE,NRITEMORCEVE", kQuote, "ORCAEVENTO", kQuote, "o orçamento"},
    {"MAOOBRA", "CDFILIAL,NRORCAEVENTO,NRSEQORCAEVE,NRTURNO,CDPRODUTO", kQuote, "ORCAEVENTO", kQuote, "o orçamento"},
    {"SALAOORCA", "CDFILIAL,NRORCAEVENTO,NRSEQORCAEVE,CDSALAOEVEN", kQuote, "ORCAEVENTO", kQuote, "o orçamento"},
    {"SALAOORCA", "CDFILIAL,NRORCAEVENTO,NRSEQORCAEVE,CDSALAOEVEN", "CDFILIAL,CDSALAOEVEN", "SALAO", "CDFILIAL,CDSALAOEVEN", "o salão"},
    {"PROPOSTAPGTO", "CDFILIAL,NRORCAEVENTO,NRSEQORCAEVE,NRPROPOSTAPGTO", kQuote, "ORCAEVENTO", kQuote, "o orçamento"},
    {"CONTRATANTE", "CDFILIAL,NRORCAEVENTO,NRSEQORCAEVE,CDCLIENCONTORCA", kQuote, "ORCAEVENTO", kQuote, "o orçamento"},
    {"CONTRATANTE", "CDFILIAL,NRORCAEVENTO,NRSEQORCAEVE,CDCLIENCONTORCA", "CDCLIENCONTORCA", "CLIENTE", "CDCLIENTE", "o cliente"},
    {"ENDENOVOCLIE", kQuote, kQuote, "ORCAEVENTO", kQuote, "o orçamento"},
    {"AGENDASALAO", "CDFILIAL,CDSALAOEVEN,DTINICIO,NRORCAEVENTO,NRSEQORCAEVE", "CDFILIAL,CDSALAOEVEN", "SALAO", "CDFILIAL,CDSALAOEVEN", "o salão"},
    {"AGENDASALAO", "CDFILIAL,CDSALAOEVEN,DTINICIO,NRORCAEVENTO,NRSEQORCAEVE", kQuote, "ORCAEVENTO", kQuote, "o orçamento"},
    {"PEDIDO", "NRPEDIDO", kQuote, "ORCAEVENTO", kQuote, "o orçamento"},
    {"ITEMPEDIDO", "NRPEDIDO,CDPRODUTO", "NRPEDIDO", "PEDIDO", "NRPEDIDO", "o pedido"},
    {"ORDEMPROD", "NRORDPROD", "NRPEDIDO", "PEDIDO", "NRPEDIDO", "o pedido"},
    {"ORCAEVENTO", kQuote, "CDFILIAL", "FILIAL", "CDFILIAL", "a filial"},
    {"PARAMORCA", "CDFILIAL", "CDFILIAL", "FILIAL", "CDFILIAL", "a filial"},
    {"SALAO", "CDFILIAL,CDSALAOEVEN", "CDFILIAL", "FILIAL", "CDFILIAL", "a filial"},
    {"OPERCONTROLE", "CDOPERADOR", "CDOPERADOR", "OPERADOR", "CDOPERADOR", "o operador"},
    {"OPERADORFILIAL", "CDOPERADOR,CDFILIAL", "CDOPERADOR", "OPERADOR", "CDOPERADOR", "o operador", 7},
    {"OPERADORFILIAL", "CDOPERADOR,CDFILIAL", "CDFILIAL", "FILIAL", "CDFILIAL", "a filial", 7},
    {"COMPOSICAO", "CDPRODUTO,CDPRODCOMP", "CDPRODUTO", "PRODUTO", "CDPRODUTO", "o produto composto"},
    {"COMPOSICAO", "CDPRODUTO,CDPRODCOMP", "CDPRODCOMP", "PRODUTO", "CDPRODUTO", "o produto componente"},
    {"ENDECLIE", "CDCLIENTE,NRENDCLIE", "CDCLIENTE", "CLIENTE", "CDCLIENTE", "o cliente"},
    {"ESTADO", "CDPAIS,SGESTADO", "CDPAIS", "PAIS", "CDPAIS", "o país"},
    {"MUNICIPIO", "CDPAIS,SGESTADO,CDMUNICIPIO", "CDPAIS,SGESTADO", "ESTADO", "CDPAIS,SGESTADO", "o estado"},
    {"BAIRRO", "CDPAIS,SGESTADO,CDMUNICIPIO,CDBAIRRO", "CDPAIS,SGESTADO,CDMUNICIPIO", "MUNICIPIO", "CDPAIS,SGESTADO,CDMUNICIPIO", "o município"},
};

// The schema version from which the journal is a chain.
constexpr int kChainedJournal = 8;
// The orphans of one reference listed at most; the rest are counted.
constexpr int kListedOrphans = 100;

QStringList Names(const char* columns) { return QString::fromLatin1(columns).split(QLatin1Char(',')); }

// The orphans of `reference`: each row's key columns, then its referring columns.
QString OrphansSql(const TReference& reference)
{
    const QStringList key = Names(reference.key), columns = Names(reference.columns), target = Names(reference.targetColumns);
    QStringList selected, set, matched;
    for (const QString& column : key)
        selected << QStringLiteral("R.") + column;
    for (int i = 0; i < columns.size(); ++i) {
        selected << QStringLiteral("R.") + columns[i];
        set << QStringLiteral("R.%1 IS NOT NULL").arg(columns[i]);
        matched << QStringLiteral("T.%1 = R.%2").arg(target[i], columns[i]);
    }
    return QStringLiteral("SELECT %1 FROM %2 R WHERE %3 AND NOT EXISTS (SELECT 1 FROM %4 T WHERE %5) ORDER BY %6")
        .arg(selected.join(QStringLiteral(", ")), QString::fromLatin1(reference.table), set.join(QStringLiteral(" AND ")),
             QString::fromLatin1(reference.target), matched.join(QStringLiteral(" AND ")), selected.mid(0, key.size()).join(QStringLiteral(", ")));
}

// What the reading found, and what each part of it found clean.
struct TReport {
    QStringList findings;   // one line each, as printed
    qint64 problems = 0;    // what they tell, orphans beyond those listed included
    QStringList clean;

    void found(const QString& line, qint64 count = 1)
    {
        findings << line;
        problems += count;
    }
};

// The store's schema against this program's. Whether the rest of the checks, which know this
// program's schema, may read the store.
bool CheckVersion(QSqlDatabase& db, const QString& url, int& version, TReport& report)
{
    version = StoredSchemaVersion(db);
    const int known = SchemaVersion();
    if (version == 0) {
        report.found(QStringLiteral("ORE_SCHEMA: o banco não tem o esquema do ore-server (nenhuma versão registrada): um banco novo se prepara "
                                    "com ore-server init --db %1.")
                         .arg(url));
        return false;
    }
    if (version > known) {
        report.found(QStringLiteral("ORE_SCHEMA: o banco está na versão %1 do esquema, mais nova que a %2 deste ore-server: confira-o com o "
                                    "ore-server que o atualizou (as demais verificações, que supõem a versão %2, não foram feitas).")
                         .arg(version)
                         .arg(known));
        return false;
    }
    if (version < known) {
        report.found(QStringLiteral("ORE_SCHEMA: o banco está na versão %1 do esquema, e este ore-server usa a %2: atualize-o iniciando o "
                                    "servidor nele (ore-server --db %3, que migra o esquema ao começar) e confira de novo.")
                         .arg(version)
                         .arg(known)
                         .arg(url));
        return true;   // what its version holds is checked
    }
    report.clean << QStringLiteral("esquema na versão %1, a deste ore-server").arg(version);
    return true;
}

// SQLite's own checks: the file's pages and indexes, and the references it declares. Those of
// kReferences are told by CheckReferences, by key.
void CheckSqlite(QSqlDatabase& db, TReport& report)
{
    const qint64 before = report.problems;
    TRows integrity = Run(db, QStringLiteral("PRAGMA integrity_check"));
    while (integrity.next())
        if (const QString line = integrity.value(0).toString(); line != QLatin1String("ok"))
            report.found(QStringLiteral("SQLite (integrity_check): %1").arg(line));
    TRows foreign = Run(db, QStringLiteral("PRAGMA foreign_key_check"));
    while (foreign.next()) {
        const QString table = foreign.value(0).toString().toUpper(), parent = foreign.value(2).toString().toUpper();
        const bool told = std::any_of(std::begin(kReferences), std::end(kReferences), [&](const TReference& reference) {
            return table == QLatin1String(reference.table) && parent == QLatin1String(reference.target);
        });
        if (!told)
            report.found(QStringLiteral("%1 linha %2: a linha de %3 a que se refere não existe (foreign_key_check).")
                             .arg(table, foreign.value(1).toString(), parent));
    }
    if (report.problems == before)
        report.clean << QStringLiteral("SQLite: integrity_check e foreign_key_check sem problemas");
}

void CheckReferences(QSqlDatabase& db, int version, TReport& report)
{
    int checked = 0, orphans = 0;
    for (const TReference& reference : kReferences) {
        if (reference.since > version)
            continue;
        ++checked;
        const int keyColumns = int(Names(reference.key).size()), columns = int(Names(reference.columns).size());
        int found = 0;
        TRows rows = Run(db, OrphansSql(reference));
        while (rows.next()) {
            if (++found > kListedOrphans)
                continue;
            QStringList key, referred;
            for (int i = 0; i < keyColumns; ++i)
                key << rows.value(i).toString();
            for (int i = 0; i < columns; ++i)
                referred << rows.value(keyColumns + i).toString();
            report.found(QStringLiteral("%1 %2: %3 %4 não existe (%5).")
                             .arg(QString::fromLatin1(reference.table), key.join(QLatin1Char('/')), QString::fromUtf8(reference.missing),
                                  referred.join(QLatin1Char('/')), QString::fromLatin1(reference.target)));
        }
        if (found > kListedOrphans)
            report.found(QStringLiteral("%1: mais %2 linha(s) sem %3 (%4), além das %5 acima.")
                             .arg(QString::fromLatin1(reference.table))
                             .arg(found - kListedOrphans)
                             .arg(QString::fromUtf8(reference.missing), QString::fromLatin1(reference.target))
                             .arg(kListedOrphans),
                         found - kListedOrphans);
        orphans += found;
    }
    if (orphans == 0)
        report.clean << QStringLiteral("referências: %1 conferidas, nenhuma linha órfã").arg(checked);
}

void CheckJournal(QSqlDatabase& db, int version, TReport& report)
{
    if (version < kChainedJournal)
        return;   // its chain comes with the migration the version finding asks for
    const Journal::TVerification verification = Journal::Verify(db);
    if (verification.broken)
        report.found(QStringLiteral("JORNAL: a cadeia está quebrada: %1 Antes dele, %2 registro(s) conferem.")
                         .arg(*verification.broken)
                         .arg(verification.verified));
    else if (verification.verified == 0)
        report.clean << QStringLiteral("jornal: nenhum registro ainda, e o seu elo confere");
    else
        report.clean << QStringLiteral("jornal: %1 registro(s) encadeado(s), do primeiro ao último; último elo %2")
                            .arg(verification.verified)
                            .arg(verification.lastHash);
}

} // namespace

int RunCheck(const QStringList& arguments)
{
    QCommandLineParser parser;
    if (const auto status = ReadCommandLine(
            parser, {DbOption()}, arguments,
            QStringLiteral("uso: ore-server check [--db URL]\n"
                           "  confere um banco sem mudar nada nele: a versão do esquema diante da deste ore-server, a\n"
                           "  integridade do arquivo (SQLite), as linhas que se referem a outras que não existem (itens,\n"
                           "  salões, pedidos… de um orçamento que não existe, agendas de um salão desconhecido…) e a\n"
                           "  cadeia do jornal. Termina com 0 quando o banco está íntegro, 4 com a lista do que encontrou,\n"
                           "  1 quando o banco não pode ser lido, 2 quando a linha de comando está errada.\n")))
        return *status;
    const QString url = StoreUrl(parser);
    TReport report;
    QString shown = url;
    try {
        TStore store(url);
        shown = store.displayUrl();
        // A file that is not there is not made: the check changes nothing.
        if (store.dialect() == TStore::SQLite && !QFileInfo(url.mid(int(qstrlen("sqlite:")))).isFile())
            return CommandFailed(QStringLiteral("o banco %1 não existe.").arg(shown), 1);
        store.setStatementTimeout(0);   // a large store takes its time to read whole
        store.readTransaction([&](QSqlDatabase& db) {
            report = {};
            int version = 0;
            const bool known = CheckVersion(db, shown, version, report);
            if (store.dialect() == TStore::SQLite)
                CheckSqlite(db, report);
            if (!known)
                return;
            CheckReferences(db, version, report);
            CheckJournal(db, version, report);   // last: on PostgreSQL a table it cannot read ends the transaction
        });
    } catch (const EHostError& e) {
        return CommandFailed(QStringLiteral("o banco %1 não pode ser lido: %2").arg(shown, e.message()), 1);
    }
    if (report.problems > 0) {
        for (const QString& finding : std::as_const(report.findings))
            std::printf("%s\n", qPrintable(finding));
        std::printf("Banco %s: %lld problema(s) encontrado(s).\n", qPrintable(shown), qlonglong(report.problems));
        std::fflush(stdout);
        return 4;
    }
    std::printf("Banco %s íntegro.\n", qPrintable(shown));
    for (const QString& line : std::as_const(report.clean))
        std::printf("  %s\n", qPrintable(line));
    std::fflush(stdout);
    return 0;
}
