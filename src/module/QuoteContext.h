#pragma once
// The quote in hand, as every workflow and the information dialog read it: the connection to
// the processing server object, the quote's record, the new client being registered with the
// quote's interested clients, and the operator's right to register products.

#include <QObject>

class TClientDataSet;
class TDataSource;
class TNetConnection;

class TQuoteContext : public QObject {
    Q_OBJECT
public:
    explicit TQuoteContext(QObject* parent);

    TNetConnection* netProcessaOrca;
    TClientDataSet* cdsOrcaEvento;     // the quote
    TClientDataSet* cdsEndeNovoClie;   // the new client, as the registration screen edits it
    TDataSource* dtsEndeNovoClie;
    TClientDataSet* cdsInteclieOrev;   // the quote's interested clients
    TDataSource* dtsInteclieOrev;
    TClientDataSet* cdsOperCadProd;    // whether the operator may register products
};
