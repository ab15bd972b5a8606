#pragma once
// Unit Cli_ore06401: the delivery and contractor information dialog.

#include <QString>

class TfrmInfoOrca;

namespace Cli_ore06401 {

extern TfrmInfoOrca* frmInfoOrca;   // the dialog, while it exists
extern bool boIdCriado;             // this unit's own flag: the dialog instance exists

void Initialization();
void Finalization();

// Shows the information dialog of the quote being processed; `ShowCadProd` shows the
// toolbar's product-registration button. Returns when the dialog has been closed.
extern "C" void CriaInfOrca(bool ShowCadProd);
// The same, with `reason` (why the dialog is opened) standing at the top of the dialog.
void CriaInfOrca(bool ShowCadProd, const QString& reason);

} // namespace Cli_ore06401
