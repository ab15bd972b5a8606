#include "Cli_ore06400.h"

#include "Crv_msg.h"
#include "Dialogs.h"
#include "Showavi.h"
#include "TfrmProcOrca.h"

namespace Cli_ore06400 {

TfrmProcOrca* frmProcOrca = nullptr;
bool boIdCriado = false;
qint32 inStatusOrca = 0;
QString stCdFili;
QString stNrOrca;
QString stNrSeq;
QString stCdOperador;
QString stTelaOrc;
QString stOpcoes;
QString stSaloes;
bool boProdSemCad = false;
bool boAprovSuperior = false;
bool boSemSucess = false;
qint32 inContMsg = 0;

void Initialization() { boIdCriado = false; }

void Finalization()
{
    for (QString* s : {&stSaloes, &stOpcoes, &stTelaOrc, &stCdOperador, &stNrSeq, &stNrOrca, &stCdFili})
        *s = QString();
}

namespace {
// A dialog whose close ran is released, so the next launch starts from a fresh one.
void ReleaseClosedDialog()
{
    if (!boIdCriado && frmProcOrca) {
        delete frmProcOrca;
        frmProcOrca = nullptr;
    }
}
} // namespace

void CriaProcessaOrca(qint32 inStatus, const QString& cdFilial, const QString& nrOrcamento, const QString& nrSequencia,
                      const QString& cdOperador, const QString& telaOrc)
{
    inStatusOrca = inStatus;
    stCdFili = cdFilial;
    stNrOrca = nrOrcamento;
    stNrSeq = nrSequencia;
    stCdOperador = cdOperador;
    stTelaOrc = telaOrc;
    // A supervisor's authorisation holds for the quote of this launch only.
    boAprovSuperior = false;

    if (!boIdCriado) {
        // The hourglass while the dialog is created (its first remote call), gone before the
        // dialog waits for the operator.
        const WaitCursor hourglass;
        frmProcOrca = new TfrmProcOrca;
        boIdCriado = true;
    }
    if (inStatusOrca == TQuoteSituation::ExecutedTotally) {
        MensErro(frmProcOrca->msgPadrao->Msg(QStringLiteral("SITU_INV_ORC")), false);
        frmProcOrca->Close();
    } else {
        frmProcOrca->setWindowState(Qt::WindowNoState);
        frmProcOrca->ShowModal();
    }
    ReleaseClosedDialog();
}

} // namespace Cli_ore06400
