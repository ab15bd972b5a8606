// Closing of an approved quote.
#include "Dialogs.h"
#include "TfrmProcOrca.h"

void TfrmProcOrca::FecharOrca()
{
    MensErro(QStringLiteral("O fechamento do orçamento não está disponível nesta versão do módulo."), true);
}
