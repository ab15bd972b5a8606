#pragma once
// The message list of a form (MessageList.h), owned by the form, that shows its texts.

#include "Dialogs.h"
#include "MessageList.h"

#include <QObject>

class TMessages : public QObject, public TMessageList {
    Q_OBJECT
public:
    explicit TMessages(QObject* parent = nullptr, const QString& name = {});

    int ShowMsg(const QString& key, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) const;
};
