#include "Password.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QStringList>

namespace {
constexpr int Iterations = 120000;

QByteArray derive(const QString& password, const QByteArray& salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, iterations, 32);
}
} // namespace

TPasswordHash HashPassword(const QString& password)
{
    QByteArray salt(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), salt.size() / 4);
    return {QStringLiteral("pbkdf2-sha256$%1$%2").arg(Iterations).arg(QString::fromLatin1(derive(password, salt, Iterations).toHex())),
            QString::fromLatin1(salt.toHex())};
}

bool CheckPassword(const QString& password, const QString& hash, const QString& salt)
{
    const QStringList parts = hash.split(QLatin1Char('$'));
    if (parts.size() != 3 || parts[0] != QLatin1String("pbkdf2-sha256"))
        return false;
    const int iterations = parts[1].toInt();
    if (iterations <= 0)
        return false;
    const QByteArray expected = QByteArray::fromHex(parts[2].toLatin1());
    const QByteArray actual = derive(password, QByteArray::fromHex(salt.toLatin1()), iterations);
    // Compared in constant time.
    if (expected.size() != actual.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < actual.size(); ++i)
        difference |= static_cast<unsigned char>(expected[i] ^ actual[i]);
    return difference == 0;
}
