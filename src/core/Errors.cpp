#include "Errors.h"

const char* EAbort::what() const noexcept { return "Operation aborted"; }

void Abort() { throw EAbort(); }

EHostError::EHostError(const QString& message) : std::runtime_error(message.toStdString()) {}
