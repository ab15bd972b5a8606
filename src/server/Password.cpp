#include "Password.h"

#include "Errors.h"

#include <QStringList>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace {
constexpr int Iterations = 120000;
constexpr int DigestBytes = 32;

QByteArray derive(const QString& password, const QByteArray& salt, int iterations)
{
    const QByteArray secret = password.toUtf8();
    QByteArray key(DigestBytes, Qt::Uninitialized);
    if (PKCS5_PBKDF2_HMAC(secret.constData(), int(secret.size()), reinterpret_cast<const unsigned char*>(salt.constData()), int(salt.size()),
                          iterations, EVP_sha256(), DigestBytes, reinterpret_cast<unsigned char*>(key.data())) != 1)
        throw EHostError(QStringLiteral("A senha não pôde ser verificada (falha do OpenSSL)."));
    return key;
}
} // namespace

QByteArray RandomBytes(int bytes)
{
    QByteArray out(bytes, Qt::Uninitialized);
    if (RAND_bytes(reinterpret_cast<unsigned char*>(out.data()), bytes) != 1)
        throw EHostError(QStringLiteral("A fonte de números aleatórios do sistema falhou."));
    return out;
}

TPasswordHash HashPassword(const QString& password)
{
    const QByteArray salt = RandomBytes(16);
    return {QStringLiteral("pbkdf2-sha256$%1$%2").arg(Iterations).arg(QString::fromLatin1(derive(password, salt, Iterations).toHex())),
            QString::fromLatin1(salt.toHex())};
}

bool CheckPassword(const QString& password, const QString& hash, const QString& salt)
{
    const QStringList parts = hash.split(QLatin1Char('$'));
    if (parts.size() != 3 || parts[0] != QLatin1String("pbkdf2-sha256"))
        return false;
    const int iterations = parts[1].toInt();
    if (iterations <= 0 || iterations > 10'000'000)
        return false;
    const QByteArray expected = QByteArray::fromHex(parts[2].toLatin1());
    const QByteArray actual = derive(password, QByteArray::fromHex(salt.toLatin1()), iterations);
    return expected.size() == actual.size() && CRYPTO_memcmp(expected.constData(), actual.constData(), size_t(actual.size())) == 0;
}

bool CheckPasswordOfNobody(const QString& password)
{
    static const QString salt = QString::fromLatin1(RandomBytes(16).toHex());
    static const QString hash = QStringLiteral("pbkdf2-sha256$%1$%2").arg(Iterations).arg(QString(DigestBytes * 2, QLatin1Char('0')));
    CheckPassword(password, hash, salt);
    return false;
}
