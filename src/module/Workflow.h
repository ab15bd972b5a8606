#pragma once
// What the workflows of the processing dialog have in common: the dialog they run in (its
// message lists), the quote in hand, and the calls and checks more than one of them makes.

#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>

class TClientDataSet;
class TfrmProcOrca;
class TMessages;
class TNetConnection;
class TQuoteContext;

// A connection to one of the server's objects, pointed at the session's server as it connects.
TNetConnection* NewServerConnection(QObject* owner, const char* name, QLatin1String serverObject);
// The dataset `name` that `owner` defined from its layout (DefineDataSets); EDataSetError when
// the layout has none of that name.
TClientDataSet* OwnDataSet(const QObject* owner, const char* name);

class TWorkflow : public QObject {
    Q_OBJECT
protected:
    TWorkflow(TfrmProcOrca& dialog, TQuoteContext& quote, const QString& name);

    // The quote's record, as the processing server object gives it (cdsOrcaEvento).
    TClientDataSet& Quote() const;

    // A text of the dialog's general message list.
    QString Msg(const char* key) const;
    const TMessages& Messages() const;

    // A call whose arguments are the quote's key, passed by reference: what the server sends
    // back for them goes into the module's globals (stCdFili, stNrOrca, stNrSeq). The checked
    // payload.
    static QVariant CallUpdatingGlobalKey(TNetConnection* net, const char* method);

    // GetOrcaEvento of the closing's or the execution's server object (`argumentCount` arguments,
    // as that object takes them): the quotes of the quote's number, every sequence, in the quote's
    // situation. The branch and the number the server sends back go into the module's globals.
    // The checked payload.
    static QVariant CallForQuoteNumber(TNetConnection* net, int argumentCount);

    // Runs a step of the closing or the execution. A parameter the server finds missing
    // ("N_PARAM_...|argument") ends the workflow with its text from `list`; any other failure
    // goes on as it came.
    static void ShowingParameterError(const TMessages& list, const std::function<void()>& step);

    TfrmProcOrca& m_dialog;
    TQuoteContext& m_quote;
};
