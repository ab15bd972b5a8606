#include "Crv_msg.h"

TMessages::TMessages(QObject* parent, const QString& name) : QObject(parent), TMessageList(name) { setObjectName(name); }

int TMessages::ShowMsg(const QString& key, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) const
{
    return MessageDlg(Msg(key), type, buttons, helpContext);
}
