// Execution of a closed quote for production and for materials.
#include "Dialogs.h"
#include "TfrmProcOrca.h"

void TfrmProcOrca::ExecOrca()
{
    MensErro(QStringLiteral("A execução do orçamento não está disponível nesta versão do módulo."), true);
}
