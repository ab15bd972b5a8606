#include "TranscriptAccount.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>

namespace {

QString Compact(const QJsonValue& value)
{
    if (!value.isArray() && !value.isObject())
        return value.toVariant().toString();
    return QString::fromUtf8(value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                                             : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
}

// A widget as the operator knows it: its text, with its name for whoever writes scripts.
QString Widget(const QJsonObject& form, const QString& name)
{
    QString text = form.value(QLatin1String("widgets")).toObject().value(name).toObject().value(QLatin1String("text")).toString();
    text.remove(QLatin1Char('&'));
    return text.isEmpty() ? name : QStringLiteral("\"%1\" (%2)").arg(text, name);
}

QString Action(const QJsonObject& form)
{
    const QJsonObject action = form.value(QLatin1String("action")).toObject();
    const QString verb = action.keys().value(0);
    const QJsonValue what = action.value(verb);
    if (verb == QLatin1String("check"))
        return QStringLiteral("marca %1").arg(Widget(form, what.toString()));
    if (verb == QLatin1String("click"))
        return QStringLiteral("aciona %1").arg(Widget(form, what.toString()));
    if (verb == QLatin1String("text"))
        return QStringLiteral("digita \"%1\" em %2").arg(Compact(what.toArray().at(1)), what.toArray().at(0).toString());
    if (verb == QLatin1String("select"))
        return QStringLiteral("escolhe %1 em %2").arg(Widget(form, what.toArray().at(0).toString())).arg(what.toArray().at(1).toInt());
    if (verb == QLatin1String("focus"))
        return QStringLiteral("vai para %1").arg(what.toString());
    if (verb == QLatin1String("post"))
        return QStringLiteral("grava o registro");
    if (verb == QLatin1String("cancel"))
        return QStringLiteral("cancela a alteração");
    if (verb == QLatin1String("close"))
        return QStringLiteral("fecha a janela");
    return Compact(action);
}

// The actions a dialog offers, top to bottom, the chosen one marked.
QString Offered(const QJsonObject& form)
{
    QMap<int, QString> offered;
    const QJsonObject widgets = form.value(QLatin1String("widgets")).toObject();
    for (auto it = widgets.begin(); it != widgets.end(); ++it) {
        const QJsonObject w = it.value().toObject();
        if (it.key().startsWith(QLatin1String("rbt")) && w.value(QLatin1String("visible")).toBool())
            offered.insert(w.value(QLatin1String("top")).toInt(),
                           (w.value(QLatin1String("checked")).toBool() ? QStringLiteral("(x) ") : QStringLiteral("( ) ")) + w.value(QLatin1String("text")).toString());
    }
    return QStringList(offered.values()).join(QStringLiteral(", "));
}

QString MessageType(const QString& type)
{
    static const QMap<QString, QString> names{{QStringLiteral("information"), QStringLiteral("Informação")},
                                              {QStringLiteral("error"), QStringLiteral("Erro")},
                                              {QStringLiteral("warning"), QStringLiteral("Atenção")},
                                              {QStringLiteral("confirmation"), QStringLiteral("Pergunta")}};
    return names.value(type, type);
}

QString Answer(const QString& answer)
{
    return answer == QLatin1String("yes") ? QStringLiteral("Sim") : answer == QLatin1String("no") ? QStringLiteral("Não") : QStringLiteral("Cancelar");
}

QString EndStatus(int status)
{
    switch (status) {
    case 0: return QStringLiteral("concluído");
    case 1: return QStringLiteral("um erro chegou ao host");
    case 2: return QStringLiteral("linha de comando errada ou senha ausente");
    case 3: return QStringLiteral("o script não coube na operação");
    case 4: return QStringLiteral("operação bloqueada: um erro foi mostrado ao operador");
    }
    return QString();
}

} // namespace

QStringList TranscriptAccount(const QList<QJsonObject>& lines, bool brief)
{
    QStringList account;
    QString indent;
    for (const QJsonObject& line : lines) {
        const QString kind = line.value(QLatin1String("kind")).toString();
        if (kind == QLatin1String("start")) {
            const QJsonArray a = line.value(QLatin1String("args")).toArray();
            account << QStringLiteral("Orçamento %1/%2 da filial %3, situação %4, operador %5, chamado pela tela %6")
                           .arg(Compact(a.at(2)), Compact(a.at(3)), Compact(a.at(1)), Compact(a.at(0)), Compact(a.at(4)), Compact(a.at(5)));
        } else if (kind == QLatin1String("form")) {
            const QString event = line.value(QLatin1String("event")).toString();
            const QString name = QStringLiteral("\"%1\" (%2)").arg(line.value(QLatin1String("caption")).toString(), line.value(QLatin1String("form")).toString());
            if (event == QLatin1String("shown")) {
                const QString offered = Offered(line);
                account << indent + QStringLiteral("Janela %1 aberta").arg(name) + (offered.isEmpty() ? QString() : QStringLiteral(": %1").arg(offered));
                indent += QStringLiteral("  ");
            } else if (event == QLatin1String("closed")) {
                indent.chop(2);
                account << indent + QStringLiteral("Janela %1 fechada").arg(name);
            } else {
                account << indent + QStringLiteral("O operador %1").arg(Action(line));
            }
        } else if (kind == QLatin1String("message")) {
            QString text = indent + QStringLiteral("%1: %2").arg(MessageType(line.value(QLatin1String("type")).toString()), line.value(QLatin1String("text")).toString());
            if (line.contains(QLatin1String("answer")))
                text += QStringLiteral(" → %1").arg(Answer(line.value(QLatin1String("answer")).toString()));
            account << text;
        } else if (kind == QLatin1String("list")) {
            const QString ticked = line.value(QLatin1String("answer")).toString();
            account << indent + QStringLiteral("Lista \"%1\": %2").arg(line.value(QLatin1String("title")).toString(), ticked.isEmpty() ? QStringLiteral("nada marcado") : QStringLiteral("marcados %1").arg(ticked));
        } else if (kind == QLatin1String("pick")) {
            const QJsonValue picked = line.value(QLatin1String("answer"));
            account << indent + QStringLiteral("Pesquisa \"%1\": %2").arg(line.value(QLatin1String("title")).toString(), picked.isNull() ? QStringLiteral("cancelada") : QStringLiteral("escolhido %1").arg(Compact(picked)));
        } else if (kind == QLatin1String("password")) {
            account << indent + QStringLiteral("Senha de %1: %2").arg(line.value(QLatin1String("operator")).toString(),
                                                                       line.value(QLatin1String("confirmed")).toBool() ? QStringLiteral("confirmada") : QStringLiteral("não confirmada"));
        } else if (kind == QLatin1String("screen")) {
            if (line.contains(QLatin1String("event"))) {
                indent.chop(2);
                account << indent + QStringLiteral("Tela %1 fechada").arg(line.value(QLatin1String("code")).toString());
            } else {
                account << indent + QStringLiteral("Tela %1 aberta").arg(line.value(QLatin1String("code")).toString());
                indent += QStringLiteral("  ");
            }
        } else if (kind == QLatin1String("call")) {
            if (brief)
                continue;
            const QString outcome = line.value(QLatin1String("outcome")).toString();
            QString text = indent + QStringLiteral("chamada %1.%2: %3")
                                        .arg(line.value(QLatin1String("object")).toString(), line.value(QLatin1String("method")).toString(),
                                             outcome == QLatin1String("ok") ? QStringLiteral("ok") : outcome == QLatin1String("fail") ? QStringLiteral("falhou") : QStringLiteral("exceção"));
            if (line.contains(QLatin1String("message")))
                text += QStringLiteral(" – %1").arg(line.value(QLatin1String("message")).toString());
            account << text;
        } else if (kind == QLatin1String("wait")) {
            continue;   // the animation says nothing the account needs
        } else if (kind == QLatin1String("unscripted")) {
            QString text = indent + QStringLiteral("Sem passo no script para %1 (%2): o operador deu a resposta segura")
                                        .arg(line.value(QLatin1String("interaction")).toString(), line.value(QLatin1String("detail")).toString());
            if (line.contains(QLatin1String("next")))
                text += QStringLiteral("; o próximo passo era %1").arg(Compact(line.value(QLatin1String("next"))));
            account << text;
        } else if (kind == QLatin1String("unused")) {
            account << QStringLiteral("Passos do script não usados: %1").arg(Compact(line.value(QLatin1String("steps"))));
        } else if (kind == QLatin1String("end")) {
            const int status = line.value(QLatin1String("status")).toInt();
            account << QStringLiteral("Fim: situação de saída %1 (%2)").arg(status).arg(EndStatus(status));
        } else {
            account << indent + QStringLiteral("%1: %2").arg(kind, Compact(line));
        }
    }
    return account;
}
