#pragma once
// A quote's readiness report and its history as the server answers them
// (CRV.rdmHost.VerificaOrcamento and HistoricoOrcamento), and the words the host uses for them:
// the "Pendências" panel and the "Histórico" tab of the quote list, and `ore-host check`.

#include "DataPacket.h"

#include <QString>
#include <QStringList>

// The calls; a refusal or a failure is an EHostError with the server's words.
TDataPacket ReadQuoteReport(const QString& branch, const QString& number, const QString& sequence);
TDataPacket ReadQuoteHistory(const QString& branch, const QString& number);

// Whether a blocking finding concerns the next action of the quote.
bool BlocksNextAction(const TDataPacket& report);
// One line that sums the report up: "Nada impede Aprovar." or "Aprovar está bloqueado: ...".
QString ReportSummary(const TDataPacket& report);
// The report as `ore-host check` prints it: the summary, the findings, the orders.
QStringList ReportLines(const TDataPacket& report);

QString ActionText(const QString& action);       // "APROVAR" -> "Aprovar"
QString SeverityText(const QString& severity);   // "B" -> "Bloqueia", "A" -> "Aviso", "P" -> "Pedido previsto"
