#include "HostLogin.h"

#include "Errors.h"
#include "ProcessCommand.h"
#include "ServerSession.h"

#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>

#include <cstdio>

namespace {
void printError(const QString& text) { std::fprintf(stderr, "ore-host: %s\n", text.toLocal8Bit().constData()); }
} // namespace

bool HasDisplay()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

std::optional<int> LogInForCommand(const QString& operatorCode, const QString& branch, bool headless)
{
    QString password = qEnvironmentVariable("ORE_PASSWORD");
    if (password.isEmpty()) {
        if (headless || !HasDisplay()) {
            printError(QStringLiteral("falta a senha de %1: sem tela, ela vem da variável de ambiente ORE_PASSWORD.").arg(operatorCode));
            return StatusUsage;
        }
        bool given = false;
        password = QInputDialog::getText(nullptr, QStringLiteral("Orçamentos de Eventos – Entrada"), QStringLiteral("Senha de %1:").arg(operatorCode),
                                         QLineEdit::Password, {}, &given);
        if (!given)
            return StatusOk;
    }
    try {
        LoginToServer(operatorCode, password, branch);
    } catch (const EHostError& e) {
        printError(QStringLiteral("a entrada de %1 na filial %2 foi recusada: %3").arg(operatorCode, branch, e.message()));
        return StatusError;
    }
    return std::nullopt;
}
