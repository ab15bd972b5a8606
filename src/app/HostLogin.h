#pragma once
// Logging in for the commands that run without the login window (ore-host process, quotes,
// screenshots): the password comes from ORE_PASSWORD; without it a window asks for it when
// there is a display, and without a display the command stops.

#include <QString>

#include <optional>

// Logs `operatorCode` in on `branch`. Answers nothing when the session is open, or the exit
// status the command must end with: StatusUsage when there is no password to be had (the
// reason printed), StatusOk when the person cancelled, StatusError when the server refused.
std::optional<int> LogInForCommand(const QString& operatorCode, const QString& branch, bool headless);

// Whether the application has a screen to show a window on.
bool HasDisplay();
