#include "MethodDeclaration.h"

#include <QJsonArray>
#include <QJsonDocument>

QString TMethodLabel::Of(const QString& arguments) const
{
    if (whenArg < 0)
        return text;
    const QJsonArray values = QJsonDocument::fromJson(arguments.toUtf8()).array();
    return whenArg < values.size() && values.at(whenArg).toString() == whenValue ? whenText : text;
}

QStringList Faults(const TMethodDeclaration& d)
{
    QStringList faults;
    if (d.object.isEmpty() || d.method.isEmpty())
        faults << QStringLiteral("sem objeto ou nome");
    if (d.kind == TMethodKind::Undeclared)
        faults << QStringLiteral("sem dizer se lê ou altera");
    if (d.label.text.trimmed().isEmpty() || (d.label.whenArg >= 0 && d.label.whenText.trimmed().isEmpty()))
        faults << QStringLiteral("sem rótulo para o histórico");
    if (!d.body)
        faults << QStringLiteral("sem corpo");
    if (d.argumentCount < 0)
        faults << QStringLiteral("sem o número de argumentos");
    const auto argument = [&](int index, const char* what) {
        if (index >= d.argumentCount || index < -1)
            faults << QStringLiteral("%1 no argumento %2, mas recebe %3").arg(QString::fromUtf8(what)).arg(index + 1).arg(d.argumentCount);
    };
    const TMethodRule& r = d.rule;
    argument(r.operatorArg, "operador");
    argument(r.branchArg, "filial");
    argument(r.quote.branch, "filial do orçamento");
    argument(r.quote.number, "número do orçamento");
    argument(r.quote.sequence, "sequência do orçamento");
    argument(r.quote.packet, "pacote do orçamento");
    argument(d.label.whenArg, "rótulo");
    for (int i : r.secret)
        if (i < 0)
            faults << QStringLiteral("segredo sem argumento");
        else
            argument(i, "segredo");
    if (r.checksPassword && (d.argumentCount < 2 || !r.secret.contains(1)))
        faults << QStringLiteral("confere a senha do segundo argumento sem guardá-la em segredo");
    if (d.kind == TMethodKind::Read && (r.checksPassword || r.changesSession))
        faults << QStringLiteral("só lê, mas registra uma senha ou altera a sessão");
    if (r.right) {
        const QByteArrayList rights = QByteArray(r.right).split(' ');
        for (const QByteArray& right : rights)
            if (QByteArrayList{"APROVAR", "FECHAR", "EXECUTAR"}.indexOf(right) < 0)
                faults << QStringLiteral("direito desconhecido: %1").arg(QString::fromLatin1(right));
    }
    return faults;
}
