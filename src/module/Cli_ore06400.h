#pragma once
// Unit Cli_ore06400: the processing dialog, the module globals and the entry.

#include <QString>
#include <QtGlobal>

class TfrmProcOrca;

namespace Cli_ore06400 {

extern TfrmProcOrca* frmProcOrca;   // the processing dialog, while it exists
extern bool boIdCriado;             // the dialog instance exists
extern qint32 inStatusOrca;         // the quote's situation, 1 to 8
extern QString stCdFili;            // quote key: branch,
extern QString stNrOrca;            //   number,
extern QString stNrSeq;             //   sequence
extern QString stCdOperador;        // operator working the quote
extern QString stTelaOrc;           // calling screen: ORE00100, ORE00400 or ORE00800
extern QString stOpcoes;            // options kept by the approval
extern QString stSaloes;            // halls kept by the approval
extern bool boProdSemCad;           // an item without a registered product
extern bool boAprovSuperior;        // the commercial approval is authorised (cleared at each launch)
extern bool boSemSucess;            // a step of the execution did not succeed
extern qint32 inContMsg;            // the execution pre-checks' counter

void Initialization();
void Finalization();

// Launches the dialog for the quote; returns when it has been closed.
extern "C" void CriaProcessaOrca(qint32 inStatus, const QString& cdFilial, const QString& nrOrcamento,
                                 const QString& nrSequencia, const QString& cdOperador, const QString& telaOrc);

} // namespace Cli_ore06400
