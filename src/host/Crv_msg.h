#pragma once
// A keyed message list: lines "key|text". Texts are kept exactly as written, blanks included.

#include "Dialogs.h"

#include <QHash>
#include <QObject>
#include <QStringList>

class TMessages : public QObject {
    Q_OBJECT
public:
    explicit TMessages(QObject* parent = nullptr, const QString& name = {});

    void SetLines(const QStringList& lines);     // throws EHostError on a line without "|"
    // A Qt resource or a file, UTF-8, one "key|text" a line; lines starting with "#" are
    // comments; in texts "\\r" and "\\n" stand for a carriage return and a line feed.
    void LoadFromFile(const QString& path);
    const QStringList& Lines() const { return m_lines; }

    bool HasKey(const QString& key) const { return m_texts.contains(key); }
    QString Msg(const QString& key) const;       // "" for an absent key
    int ShowMsg(const QString& key, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) const;

private:
    QStringList m_lines;
    QHash<QString, QString> m_texts;
};
