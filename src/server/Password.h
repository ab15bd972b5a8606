#pragma once
// Operators' passwords exist only as salted PBKDF2-HMAC-SHA256 hashes.

#include <QByteArray>
#include <QString>

struct TPasswordHash {
    QString hash;   // "pbkdf2-sha256$<iterations>$<hex digest>"
    QString salt;   // hex
};

TPasswordHash HashPassword(const QString& password);
bool CheckPassword(const QString& password, const QString& hash, const QString& salt);

// Takes as long as CheckPassword of a stored hash and answers false: the check of an operator
// who does not exist, so that codes cannot be told apart by the time their check takes.
bool CheckPasswordOfNobody(const QString& password);

// `bytes` bytes from the system's cryptographic random source.
QByteArray RandomBytes(int bytes);
