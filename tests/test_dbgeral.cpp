// The host's database module: read-only location queries with bound parameters.
#include "TestSupport.h"

#include "DBGeral.h"
#include "Errors.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

namespace {

class DBGeral : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString file = dir.filePath("locais.db");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "montagem");
            db.setDatabaseName(file);
            ASSERT_TRUE(db.open());
            QSqlQuery q(db);
            for (const char* sql : {"CREATE TABLE PAIS (CDPAIS VARCHAR(4), NMPAIS VARCHAR(30))",
                                    "CREATE TABLE ESTADO (CDPAIS VARCHAR(4), SGESTADO VARCHAR(2), NMESTADO VARCHAR(30))",
                                    "INSERT INTO PAIS VALUES ('1058', 'Brasil'), ('0639', 'Argentina')",
                                    "INSERT INTO ESTADO VALUES ('1058', 'PE', 'Pernambuco'), ('1058', 'BA', 'Bahia'), ('0639', 'BA', 'Buenos Aires')"})
                ASSERT_TRUE(q.exec(sql)) << sql;
            db.close();
        }
        QSqlDatabase::removeDatabase("montagem");
        TdtmDBGeral::Open("sqlite:" + file);
    }
    void TearDown() override { TdtmDBGeral::Close(); }
    QTemporaryDir dir;
};

TEST_F(DBGeral, ChecksAndListsTakeTheirValuesAsParameters)
{
    TADOIBQuery qryVd_Estado(nullptr, "qryVd_Estado",
                             "SELECT SGESTADO, NMESTADO FROM ESTADO WHERE CDPAIS = :P_CDPAIS AND SGESTADO = :P_SGESTADO");
    struct Case {
        const char* country;
        const char* state;
        const char* name;   // "" when not found
    };
    for (const Case& c : {Case{"1058", "BA", "Bahia"}, Case{"0639", "BA", "Buenos Aires"}, Case{"1058", "SP", ""},
                          Case{"1058", "BA' OR '1'='1", ""}, Case{"1058'; DROP TABLE ESTADO; --", "PE", ""}}) {
        qryVd_Estado.Close();
        qryVd_Estado.ParamByName("P_CDPAIS")->SetAsString(c.country);
        qryVd_Estado.ParamByName("p_sgestado")->SetAsString(c.state);
        qryVd_Estado.Open();
        EXPECT_EQ(qryVd_Estado.IsEmpty(), *c.name == 0) << c.state;
        if (*c.name) {
            EXPECT_EQ(qryVd_Estado.FieldByName("NMESTADO")->AsString(), QString::fromUtf8(c.name));
        }
    }
    EXPECT_THROW(qryVd_Estado.ParamByName("P_NADA"), EDataSetError);

    // A list with the layout of its form: sizes and labels from the definition.
    TADOIBQuery qryEstado(nullptr, "qryEstado",
                          "SELECT E.SGESTADO, E.NMESTADO FROM ESTADO E JOIN PAIS P ON E.CDPAIS = P.CDPAIS WHERE E.CDPAIS = :P_CDPAIS ORDER BY E.SGESTADO");
    qryEstado.DefineFields(QJsonArray{Json(R"({"name":"SGESTADO","type":"string","size":2,"label":"Sigla"})"),
                                      Json(R"({"name":"NMESTADO","type":"string","size":30,"label":"Nome"})")});
    qryEstado.ParamByName("P_CDPAIS")->SetAsString("1058");
    qryEstado.Open();
    ASSERT_EQ(qryEstado.RecordCount(), 2);
    EXPECT_EQ(qryEstado.FieldByName("SGESTADO")->AsString(), "BA");
    EXPECT_EQ(qryEstado.FieldByName("SGESTADO")->DisplayLabel(), "Sigla");
}

TEST_F(DBGeral, TheConnectionIsReadOnly)
{
    QSqlQuery q(TdtmDBGeral::Connection());
    EXPECT_FALSE(q.exec("DELETE FROM ESTADO"));
    TADOIBQuery count(nullptr, "qryConta", "SELECT COUNT(*) AS N FROM ESTADO");
    count.Open();
    EXPECT_EQ(count.FieldByName("N")->AsString(), "3");

    TdtmDBGeral::Close();
    EXPECT_THROW(count.Open(), EHostError);
    EXPECT_THROW(TdtmDBGeral::Open("mysql://x"), EHostError);
}

} // namespace
