#pragma once
// A small location database (PAIS, ESTADO, MUNICIPIO, BAIRRO) for the information dialog's
// tests: Brazil and Argentina, with a state abbreviation in both and one only in Argentina.

#include <QString>

void CreateLocationsDb(const QString& file);
