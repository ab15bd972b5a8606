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
