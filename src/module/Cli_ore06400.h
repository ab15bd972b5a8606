#pragma once
// Unit Cli_ore06400: the processing dialog, the module globals and the entry.

#include <QString>
#include <QtGlobal>

class TfrmProcOrca;

namespace Cli_ore06400 {

// The quote's situation. The host passes it, and the module keeps it, as a number
// (inStatusOrca); a record holds it as one character (IDSITUORCEVE).
enum class TQuoteSituation : qint32 {
    Pending = 1,
    Approved = 2,
    Closed = 3,
    ExecutedForProduction = 4,
    ExecutedForMaterials = 5,
    ExecutedTotally = 6,
    Ended = 7,
    Cancelled = 8,
};
constexpr qint32 Code(TQuoteSituation situation) { return static_cast<qint32>(situation); }
constexpr bool operator==(qint32 code, TQuoteSituation situation) { return code == Code(situation); }
// As a record's IDSITUORCEVE holds it: "1" to "8".
inline QString FieldCode(TQuoteSituation situation) { return QString::number(Code(situation)); }

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
