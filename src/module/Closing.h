#pragma once
// The closing of an approved quote and what it reads: its connections to the closing's and the
// contracting clients' server objects, the closing record and the contracting clients.

#include "Workflow.h"

class TClientDataSet;

class TClosing : public TWorkflow {
    Q_OBJECT
public:
    TClosing(TfrmProcOrca& dialog, TQuoteContext& quote);

    // The closing, from the contracting clients to the closed quote.
    void Run();

    TNetConnection* netFechamento;
    TNetConnection* netContratante;
    TClientDataSet* cdsOrcaEventoFech;      // the closing record, every sequence of the quote number
    TClientDataSet* cdsExisteContratante;
    TClientDataSet* cdsEndeCont;

private:
    void LoadClosingRecord();
};
