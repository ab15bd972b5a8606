// Approval of a pending quote.
#include "Dialogs.h"
#include "TfrmProcOrca.h"

void TfrmProcOrca::AprovarOrca()
{
    MensErro(QStringLiteral("A aprovação do orçamento não está disponível nesta versão do módulo."), true);
}
