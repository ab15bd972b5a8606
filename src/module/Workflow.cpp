#include "Workflow.h"

#include "Cli_ore06400.h"
#include "ClientDataSet.h"
#include "Consiste.h"
#include "Crv_msg.h"
#include "Dialogs.h"
#include "Errors.h"
#include "HostServices.h"
#include "NetConnection.h"
#include "QuoteContext.h"
#include "TfrmProcOrca.h"
#include "WireContract.h"

#include <QLatin1String>

using namespace Cli_ore06400;

TNetConnection* NewServerConnection(QObject* owner, const char* name, QLatin1String serverObject)
{
    auto* net = new TNetConnection(owner, QString::fromLatin1(name), serverObject);
    net->BeforeConnect = [](TNetConnection& sender) {
        sender.Host = WebURL();
        sender.Port = WebPort();
    };
    return net;
}

TClientDataSet* OwnDataSet(const QObject* owner, const char* name)
{
    auto* dataSet = owner->findChild<TClientDataSet*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
    if (!dataSet)
        throw EDataSetError(QStringLiteral("%1: o leiaute não define o conjunto de dados %2.").arg(owner->objectName(), QString::fromLatin1(name)));
    return dataSet;
}

TWorkflow::TWorkflow(TfrmProcOrca& dialog, TQuoteContext& quote, const QString& name) : QObject(&dialog), m_dialog(dialog), m_quote(quote)
{
    setObjectName(name);
}

TClientDataSet& TWorkflow::Quote() const { return *m_quote.cdsOrcaEvento; }

QString TWorkflow::Msg(const char* key) const { return m_dialog.msgPadrao->Msg(QString::fromLatin1(key)); }

const TMessages& TWorkflow::Messages() const { return *m_dialog.msgPadrao; }

QVariant TWorkflow::CallUpdatingGlobalKey(TNetConnection* net, const char* method)
{
    QVariantList key{stCdFili, stNrOrca, stNrSeq};
    const QVariant result = net->CallRef(QString::fromLatin1(method), key);
    stCdFili = key[0].toString();
    stNrOrca = key[1].toString();
    stNrSeq = key[2].toString();
    return CheckResultServ(result);
}

QVariant TWorkflow::CallForQuoteNumber(TNetConnection* net, int argumentCount)
{
    QVariantList args(argumentCount, QString());
    args[GetOrcaEventoRangeArg::Branch] = stCdFili;
    args[GetOrcaEventoRangeArg::FirstNumber] = stNrOrca;
    args[GetOrcaEventoRangeArg::LastNumber] = stNrOrca;
    for (int unused = GetOrcaEventoRangeArg::LastNumber + 1; unused <= GetOrcaEventoRangeArg::LastNumber + 4; ++unused)
        args[unused] = 0;   // the four numbers that follow the range, unused
    args[GetOrcaEventoRangeArg::Situation] = QString::number(inStatusOrca);
    const QVariant result = net->CallRef(QStringLiteral("GetOrcaEvento"), args);
    stCdFili = args[GetOrcaEventoRangeArg::Branch].toString();
    stNrOrca = args[GetOrcaEventoRangeArg::LastNumber].toString();
    return CheckResultServ(result);
}

void TWorkflow::ShowingParameterError(const TMessages& list, const std::function<void()>& step)
{
    try {
        step();
    } catch (const EAbort&) {
        throw;
    } catch (const std::exception& e) {
        const QString message = QString::fromUtf8(e.what());
        if (!message.contains(QLatin1String("N_PARAM_")))
            throw;
        StopWithError(list.KeyedMsg(message));
    }
}
