#pragma once
// A keyed message list: lines "key|text". Texts are kept exactly as written, blanks included.
// The forms show them (TMessages, Crv_msg.h); the server words its reports with the same files.

#include <QHash>
#include <QString>
#include <QStringList>

class TMessageList {
public:
    explicit TMessageList(const QString& name = {}) : m_name(name) {}   // errors name the list so

    void SetLines(const QStringList& lines);     // throws EHostError on a line without "|"
    // A Qt resource or a file, UTF-8, one "key|text" a line; lines starting with "#" are
    // comments; in texts "\\r" and "\\n" stand for a carriage return and a line feed.
    void LoadFromFile(const QString& path);
    const QStringList& Lines() const { return m_lines; }

    bool HasKey(const QString& key) const { return m_texts.contains(key); }
    QString Msg(const QString& key) const;       // "" for an absent key
    // The text shown for a server's "KEY|argument" (or "KEY"): the key's text with the argument
    // in its placeholder; the message itself when the list does not know the key.
    QString KeyedMsg(const QString& message) const;

private:
    QString m_name;
    QStringList m_lines;
    QHash<QString, QString> m_texts;
};
