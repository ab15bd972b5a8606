#pragma once
// Message boxes and the error box of the framework.

#include <QString>

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn : unsigned { mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8 };
using TMsgDlgButtons = unsigned;

// Modal results.
constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;
constexpr int mrYes = 6;
constexpr int mrNo = 7;

// Shows `text` modally and returns the button pressed (mrYes, mrNo, mrOk, mrCancel).
int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext);

// Shows an error box; with `abort` true it then ends the operation by the silent abort.
void MensErro(const QString& text, bool abort);

// Shows an error box and ends the operation by the silent abort: MensErro(text, true), which
// the compiler knows never returns.
[[noreturn]] void StopWithError(const QString& text);
