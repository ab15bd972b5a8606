#include "Crv_msg.h"

#include "Errors.h"

#include <QFile>

TMessages::TMessages(QObject* parent, const QString& name) : QObject(parent) { setObjectName(name); }

void TMessages::SetLines(const QStringList& lines)
{
    QHash<QString, QString> texts;
    for (const QString& line : lines) {
        if (line.isEmpty())
            continue;
        const qsizetype bar = line.indexOf(QLatin1Char('|'));
        if (bar <= 0)
            throw EHostError(QStringLiteral("%1: linha sem chave \"chave|texto\": %2").arg(objectName(), line));
        const QString key = line.left(bar);
        if (texts.contains(key))
            throw EHostError(QStringLiteral("%1: a chave %2 aparece duas vezes.").arg(objectName(), key));
        texts.insert(key, line.mid(bar + 1));
    }
    m_lines = lines;
    m_texts = std::move(texts);
}

void TMessages::LoadFromFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EHostError(QStringLiteral("%1: a lista de mensagens %2 não pôde ser lida.").arg(objectName(), path));
    QString text = QString::fromUtf8(file.readAll());
    text.remove(QLatin1Char('\r'));
    SetLines(text.split(QLatin1Char('\n')));
}

QString TMessages::Msg(const QString& key) const { return m_texts.value(key); }

int TMessages::ShowMsg(const QString& key, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) const
{
    return MessageDlg(Msg(key), type, buttons, helpContext);
}
