#include "QuoteReport.h"

#include "ClientDataSet.h"
#include "Errors.h"
#include "NetConnection.h"
#include "Variants.h"
#include "Wire.h"
#include "WireContract.h"

namespace {

TDataPacket Ask(const char* method, const QVariantList& args)
{
    TNetConnection net(nullptr, QStringLiteral("netHost"), ServerObject::Host);
    const QVariant result = net.Call(QString::fromLatin1(method), args);
    if (VarIsFail(result))
        throw EHostError(result.value<TFailResult>().text);
    if (!VarIsPacket(result))
        throw EHostError(QStringLiteral("%1: o servidor não respondeu com uma lista.").arg(QString::fromLatin1(method)));
    return result.value<TDataPacket>();
}

QString Text(const TDataPacket& p, const CellRow& row, const char* field)
{
    const int i = p.fieldIndex(QString::fromLatin1(field));
    return i < 0 || !std::holds_alternative<QString>(row[size_t(i)]) ? QString() : std::get<QString>(row[size_t(i)]);
}

// The next action, as the rows that concern it name it ("" when no row does).
QString NextAction(const TDataPacket& report)
{
    for (const CellRow& row : report.rows())
        if (Text(report, row, "IDPROXIMA") == QLatin1String("S"))
            return Text(report, row, "IDACAO");
    return {};
}

} // namespace

TDataPacket ReadQuoteReport(const QString& branch, const QString& number, const QString& sequence)
{
    return Ask("VerificaOrcamento", {branch, number, sequence});
}

TDataPacket ReadQuoteHistory(const QString& branch, const QString& number) { return Ask("HistoricoOrcamento", {branch, number}); }

QString ActionText(const QString& action)
{
    return action == QLatin1String("APROVAR") ? QStringLiteral("Aprovar") : action == QLatin1String("FECHAR") ? QStringLiteral("Fechar")
                                                                           : QStringLiteral("Executar");
}

QString SeverityText(const QString& severity)
{
    return severity == QLatin1String("B") ? QStringLiteral("Bloqueia") : severity == QLatin1String("A") ? QStringLiteral("Aviso") : QStringLiteral("Pedido previsto");
}

bool BlocksNextAction(const TDataPacket& report)
{
    for (const CellRow& row : report.rows())
        if (Text(report, row, "IDPROXIMA") == QLatin1String("S") && Text(report, row, "IDGRAVIDADE") == QLatin1String("B"))
            return true;
    return false;
}

QString ReportSummary(const TDataPacket& report)
{
    const QString next = NextAction(report);
    if (next.isEmpty())
        return QStringLiteral("Nada impede a próxima ação.");
    int blocking = 0, warnings = 0;
    for (const CellRow& row : report.rows()) {
        if (Text(report, row, "IDPROXIMA") != QLatin1String("S"))
            continue;
        const QString severity = Text(report, row, "IDGRAVIDADE");
        blocking += severity == QLatin1String("B");
        warnings += severity == QLatin1String("A");
    }
    if (blocking > 0)
        return QStringLiteral("%1 está bloqueado: %2 pendência(s).").arg(ActionText(next)).arg(blocking);
    return warnings > 0 ? QStringLiteral("Nada impede %1; %2 aviso(s).").arg(ActionText(next)).arg(warnings)
                        : QStringLiteral("Nada impede %1.").arg(ActionText(next));
}

QStringList ReportLines(const TDataPacket& report)
{
    QStringList lines{ReportSummary(report)};
    TClientDataSet ds;
    ds.LoadPacket(report);
    bool ordersHeaded = false;
    for (ds.First(); !ds.Eof(); ds.Next()) {
        // One line a finding: a text's own line breaks become blanks.
        auto f = [&](const char* name) { return ds.Text(QString::fromLatin1(name)).replace(QStringLiteral("\r\n"), QStringLiteral(" ")); };
        const QString detail = f("DSDETALHE");
        if (f("IDGRAVIDADE") == QLatin1String("P")) {
            if (!ordersHeaded)
                lines << QStringLiteral("Pedidos que a execução geraria:");
            ordersHeaded = true;
            lines << QStringLiteral("  %1  %2  %3  %4  (%5)")
                         .arg(f("DSMENSAGEM"), f("CDARVPROD"), f("NMPRODUTO"), ds.FieldByName(QStringLiteral("QTPEDIDO"))->DisplayText(), detail);
            continue;
        }
        lines << QStringLiteral("  %1  %2  %3: %4%5")
                     .arg(ActionText(f("IDACAO")).leftJustified(8), SeverityText(f("IDGRAVIDADE")).leftJustified(8), f("CDPENDENCIA"), f("DSMENSAGEM"),
                          detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(detail));
    }
    return lines;
}
