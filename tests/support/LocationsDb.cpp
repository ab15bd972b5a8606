#include "LocationsDb.h"

#include <QSqlDatabase>
#include <QSqlQuery>

void CreateLocationsDb(const QString& file)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "locais-teste");
        db.setDatabaseName(file);
        db.open();
        QSqlQuery q(db);
        for (const char* sql : {
                 "CREATE TABLE PAIS (CDPAIS VARCHAR(4), NMPAIS VARCHAR(30))",
                 "CREATE TABLE ESTADO (CDPAIS VARCHAR(4), SGESTADO VARCHAR(2), NMESTADO VARCHAR(30))",
                 "CREATE TABLE MUNICIPIO (CDPAIS VARCHAR(4), SGESTADO VARCHAR(2), CDMUNICIPIO VARCHAR(4), NMMUNICIPIO VARCHAR(30))",
                 "CREATE TABLE BAIRRO (CDPAIS VARCHAR(4), SGESTADO VARCHAR(2), CDMUNICIPIO VARCHAR(4), CDBAIRRO VARCHAR(10), NMBAIRRO VARCHAR(50))",
                 "INSERT INTO PAIS VALUES ('1058', 'Brasil'), ('0639', 'Argentina')",
                 "INSERT INTO ESTADO VALUES ('1058', 'PE', 'Pernambuco'), ('1058', 'BA', 'Bahia'), ('0639', 'BA', 'Buenos Aires'), ('0639', 'CB', 'Córdoba')",
                 "INSERT INTO MUNICIPIO VALUES ('1058', 'PE', '2611', 'Recife'), ('1058', 'BA', '2927', 'Salvador'), ('0639', 'BA', '0001', 'La Plata')",
                 "INSERT INTO BAIRRO VALUES ('1058', 'PE', '2611', '0000000001', 'Boa Viagem'), ('1058', 'PE', '2611', '0000000002', 'Casa Forte')",
             })
            q.exec(sql);
        db.close();
    }
    QSqlDatabase::removeDatabase("locais-teste");
}
