#include "MessageList.h"

#include "Errors.h"
#include "TextRoutines.h"

#include <QFile>

void TMessageList::SetLines(const QStringList& lines)
{
    QHash<QString, QString> texts;
    for (const QString& line : lines) {
        if (line.isEmpty())
            continue;
        const qsizetype bar = line.indexOf(QLatin1Char('|'));
        if (bar <= 0)
            throw EHostError(QStringLiteral("%1: linha sem chave \"chave|texto\": %2").arg(m_name, line));
        const QString key = line.left(bar);
        if (texts.contains(key))
            throw EHostError(QStringLiteral("%1: a chave %2 aparece duas vezes.").arg(m_name, key));
        texts.insert(key, line.mid(bar + 1));
    }
    m_lines = lines;
    m_texts = std::move(texts);
}

namespace {
// "\r", "\n" and "\\" in a message file stand for a carriage return, a line feed, a backslash.
QString unescape(const QString& line)
{
    if (!line.contains(QLatin1Char('\\')))
        return line;
    QString out;
    out.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == QLatin1Char('\\') && i + 1 < line.size()) {
            const QChar next = line[i + 1];
            if (next == QLatin1Char('r') || next == QLatin1Char('n') || next == QLatin1Char('\\')) {
                out += next == QLatin1Char('r') ? QLatin1Char('\r') : next == QLatin1Char('n') ? QLatin1Char('\n') : QLatin1Char('\\');
                ++i;
                continue;
            }
        }
        out += line[i];
    }
    return out;
}
} // namespace

void TMessageList::LoadFromFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EHostError(QStringLiteral("%1: a lista de mensagens %2 não pôde ser lida.").arg(m_name, path));
    QStringList lines;
    for (QString line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        lines << unescape(line);
    }
    SetLines(lines);
}

QString TMessageList::Msg(const QString& key) const { return m_texts.value(key); }

QString TMessageList::KeyedMsg(const QString& message) const
{
    const qsizetype bar = message.indexOf(QLatin1Char('|'));
    const QString text = Msg(bar < 0 ? message : message.left(bar));
    if (text.isEmpty())
        return message;   // a key this build does not know: the server's own words
    return bar < 0 ? text : Format(text, {message.mid(bar + 1)});
}
