// Client datasets: fields, records, states, the change log, filters, Locate, packets, events,
// and the item model that lists them.
#include "TestSupport.h"

#include "ClientDataSet.h"
#include "DataSetModel.h"
#include "Errors.h"
#include "Variants.h"


namespace {

// The quote's halls, as a form layout would define them.
std::unique_ptr<TClientDataSet> halls()
{
    auto ds = std::make_unique<TClientDataSet>(nullptr, QStringLiteral("cdsSalaoEven"));
    ds->DefineFields(QJsonArray{
        Json(R"({"name":"IDMARCADO","type":"string","size":1,"fixed":true})"),
        Json(R"({"name":"CDFILIAL","type":"string","size":4,"visible":false})"),
        Json(R"({"name":"NRORCAEVENTO","type":"string","size":10,"visible":false})"),
        Json(R"({"name":"NRSEQORCAEVE","type":"string","size":2,"fixed":true,"visible":false})"),
        Json(R"({"name":"CDSALAOEVEN","type":"string","size":3,"label":"Código"})"),
        Json(R"({"name":"NMSALAOEVEN","type":"string","size":50,"label":"Nome do Salão / Ambiente"})"),
        Json(R"({"name":"VRCOBAGENSALAO","type":"float","visible":false})"),
        Json(R"({"name":"VrCobrSalao","type":"float","calculated":true,"label":"Valor","displayFormat":"#,##0.00"})"),
    });
    return ds;
}

QVariant hallRows()
{
    return PacketVar({{"CDFILIAL", TFieldType::String, 4}, {"NRORCAEVENTO", TFieldType::String, 10},
                      {"NRSEQORCAEVE", TFieldType::String, 2}, {"CDSALAOEVEN", TFieldType::String, 3},
                      {"NMSALAOEVEN", TFieldType::String, 50}, {"VRCOBAGENSALAO", TFieldType::Integer, 0},
                      {"EXTRA", TFieldType::String, 5}},
                     {{"0001", "0000000123", "01", "001", "Salão Nobre", 2500, "x"},
                      {"0001", "0000000123", "02", "002", "Terraço", 1234567, "y"},
                      {"0001", "0000000124", "01", "003", "Jardim d'Água", Null(), "z"}});
}

TEST(DataSet, LoadsByFieldNameConvertingToTheFieldTypes)
{
    auto ds = halls();
    ds->SetData(hallRows());
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_TRUE(ds->FieldByName("IDMARCADO")->IsNull());              // absent from the packet
    EXPECT_EQ(ds->FindField("EXTRA"), nullptr);                        // unknown column ignored
    EXPECT_EQ(ds->FieldByName("VRCOBAGENSALAO")->Value().metaType().id(), QMetaType::Double);
    EXPECT_EQ(ds->FieldByName("VRCOBAGENSALAO")->AsFloat(), 2500.0);
    EXPECT_EQ(ds->FieldByName("nmsalaoeven")->AsString(), "Salão Nobre");   // names are case-insensitive
    EXPECT_THROW(ds->FieldByName("NAOEXISTE"), EDataSetError);

    ds->Last();
    EXPECT_TRUE(ds->FieldByName("VRCOBAGENSALAO")->IsNull());
    EXPECT_EQ(ds->FieldByName("VRCOBAGENSALAO")->AsFloat(), 0.0);
}

TEST(DataSet, AValueOfTheWrongTypeIsAClearError)
{
    TClientDataSet ds(nullptr, QStringLiteral("cdsTotal"));
    ds.DefineFields({{"QTPARC", TFieldType::Integer}});
    try {
        ds.SetData(PacketVar({{"QTPARC", TFieldType::String, 10}}, {{"12"}, {"doze"}}));
        FAIL();
    } catch (const EWireError& e) {
        EXPECT_EQ(e.message(), "cdsTotal, linha 2: Campo QTPARC: o valor \"doze\" não é um número inteiro.");
    }
    EXPECT_THROW(ds.SetData(VarArrayOf({1})), EWireError);   // an array where a packet was expected
}

TEST(DataSet, StringsHoldAtMostTheirSize)
{
    TClientDataSet ds;
    ds.DefineFields({{"CDPAIS", TFieldType::String, 4}, {"NRSEQ", TFieldType::FixedString, 2}});
    ds.CreateDataSet();
    ds.Append();
    ds.FieldByName("CDPAIS")->SetAsString(QStringLiteral("105899"));
    ds.FieldByName("NRSEQ")->SetAsString(QStringLiteral("1 "));
    ds.Post();
    EXPECT_EQ(ds.FieldByName("CDPAIS")->AsString(), "1058");
    EXPECT_EQ(ds.FieldByName("NRSEQ")->AsString(), "1");

    ds.SetData(PacketVar({{"CDPAIS", TFieldType::String, 10}}, {{"ABCDEFG"}}));
    EXPECT_EQ(ds.FieldByName("CDPAIS")->AsString(), "ABCD");
}

TEST(DataSet, ChangeCountFollowsEditPostCancelAndMerge)
{
    auto ds = halls();
    ds->SetData(hallRows());
    EXPECT_EQ(ds->ChangeCount(), 0);

    ds->Edit();
    ds->FieldByName("NMSALAOEVEN")->SetAsString(QStringLiteral("Outro"));
    ds->Cancel();
    EXPECT_EQ(ds->ChangeCount(), 0);
    EXPECT_EQ(ds->FieldByName("NMSALAOEVEN")->AsString(), "Salão Nobre");

    ds->Edit();
    ds->Post();                                                  // nothing changed
    EXPECT_EQ(ds->ChangeCount(), 0);

    ds->Edit();
    ds->FieldByName("IDMARCADO")->SetAsString(QStringLiteral("S"));
    EXPECT_TRUE(ds->Modified());
    ds->Post();
    EXPECT_EQ(ds->ChangeCount(), 1);
    ds->Edit();
    ds->FieldByName("NMSALAOEVEN")->SetAsString(QStringLiteral("Nobre II"));
    ds->Post();
    EXPECT_EQ(ds->ChangeCount(), 1);                             // still one changed record

    ds->Append();
    ds->FieldByName("CDSALAOEVEN")->SetAsString(QStringLiteral("009"));
    ds->Post();
    EXPECT_EQ(ds->ChangeCount(), 2);
    EXPECT_EQ(ds->RecordCount(), 4);

    const TDataPacket saved = ds->Data();
    ASSERT_EQ(saved.states().size(), 4u);
    EXPECT_EQ(saved.states()[0], TRowState::Modified);
    EXPECT_EQ(saved.states()[3], TRowState::Inserted);
    EXPECT_EQ(saved.fieldIndex("VrCobrSalao"), -1);               // calculated fields stay home

    ds->MergeChangeLog();
    EXPECT_EQ(ds->ChangeCount(), 0);
    EXPECT_TRUE(ds->Data().states().empty());
    ds->First();
    EXPECT_EQ(ds->FieldByName("NMSALAOEVEN")->AsString(), "Nobre II");
}

TEST(DataSet, CancelUpdatesRestoresWhatWasLoaded)
{
    auto ds = halls();
    ds->SetData(hallRows());
    ds->Edit();
    ds->FieldByName("NMSALAOEVEN")->SetAsString(QStringLiteral("Mudado"));
    ds->Post();
    ds->Next();
    ds->Delete();
    ds->Append();
    ds->FieldByName("CDSALAOEVEN")->SetAsString(QStringLiteral("010"));
    ds->Post();
    EXPECT_EQ(ds->ChangeCount(), 3);
    ds->CancelUpdates();
    EXPECT_EQ(ds->ChangeCount(), 0);
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_EQ(ds->FieldByName("NMSALAOEVEN")->AsString(), "Salão Nobre");
}

TEST(DataSet, AnAbortBeforePostLeavesTheRecordInEditWithItsValues)
{
    auto ds = halls();
    ds->SetData(hallRows());
    int afterPost = 0;
    ds->BeforePost = [](TClientDataSet& d) {
        if (d.FieldByName("NMSALAOEVEN")->AsString().isEmpty())
            Abort();
    };
    ds->AfterPost = [&](TClientDataSet&) { ++afterPost; };
    TDataSource source(nullptr, QStringLiteral("dtsSalaoEven"), ds.get());
    QList<TDataSetState> states;
    source.OnStateChange = [&](TDataSource& s) { states << s.State(); };

    ds->Edit();
    ds->FieldByName("NMSALAOEVEN")->SetAsString(QString());
    EXPECT_THROW(ds->Post(), EAbort);
    EXPECT_EQ(ds->State(), dsEdit);
    EXPECT_EQ(ds->FieldByName("NMSALAOEVEN")->AsString(), "");
    EXPECT_EQ(afterPost, 0);

    ds->FieldByName("NMSALAOEVEN")->SetAsString(QStringLiteral("Salão Azul"));
    ds->Post();
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(afterPost, 1);
    EXPECT_EQ(states, (QList<TDataSetState>{dsEdit, dsBrowse}));
}

TEST(DataSet, NavigatesOverTheRecords)
{
    auto ds = halls();
    ds->CreateDataSet();
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_TRUE(ds->Eof());
    ds->SetData(hallRows());
    QStringList codes;
    for (ds->First(); !ds->Eof(); ds->Next())
        codes << ds->FieldByName("CDSALAOEVEN")->AsString();
    EXPECT_EQ(codes, (QStringList{"001", "002", "003"}));
    EXPECT_EQ(ds->RecNo(), 3);
    EXPECT_THROW(ds->FieldByName("NMSALAOEVEN")->SetAsString(QStringLiteral("x")), EDataSetError);   // not in edit
}

TEST(DataSet, FiltersWithQuotesInsideValues)
{
    auto ds = halls();
    ds->SetData(hallRows());
    ds->SetFiltered(false);
    ds->SetFilter(QStringLiteral("CDFILIAL = '0001' AND NMSALAOEVEN = 'Jardim d''Água'"));
    ds->SetFiltered(true);
    ASSERT_EQ(ds->RecordCount(), 1);
    EXPECT_EQ(ds->FieldByName("CDSALAOEVEN")->AsString(), "003");

    ds->SetFilter(QStringLiteral("NRORCAEVENTO = '0000000123' AND (NRSEQORCAEVE = '02' OR NRSEQORCAEVE = '09')"));
    ASSERT_EQ(ds->RecordCount(), 1);
    EXPECT_EQ(ds->FieldByName("NRSEQORCAEVE")->AsString(), "02");

    // A value that is not closed cannot select other rows: it is refused.
    EXPECT_THROW(ds->SetFilter(QStringLiteral("NMSALAOEVEN = 'Jardim d'Água'")), EDataSetError);
    EXPECT_THROW(ds->SetFilter(QStringLiteral("NAOEXISTE = '1'")), EDataSetError);

    ds->SetFiltered(false);
    EXPECT_EQ(ds->RecordCount(), 3);
    EXPECT_EQ(ds->Data().rowCount(), 3);
}

TEST(DataSet, LocatesOverSeveralFieldsIgnoringCase)
{
    TClientDataSet ds;
    ds.DefineFields({{"CDFILIAL", TFieldType::String, 4}, {"NRORCAEVENTO", TFieldType::String, 10},
                     {"NRSEQORCAEVE", TFieldType::FixedString, 2}, {"DSTITULO", TFieldType::String, 20}});
    ds.SetData(PacketVar({{"CDFILIAL", TFieldType::String, 4}, {"NRORCAEVENTO", TFieldType::String, 10},
                          {"NRSEQORCAEVE", TFieldType::String, 2}, {"DSTITULO", TFieldType::String, 20}},
                         {{"0001", "ABC123", "01", "primeira"}, {"0001", "ABC123", "02", "segunda"}, {"0002", "ABC123", "02", "outra filial"}}));
    const QString keys = QStringLiteral("CDFILIAL;NRORCAEVENTO;NRSEQORCAEVE");

    EXPECT_FALSE(ds.Locate(keys, VarArrayOf({"0001", "abc123", "02"})));
    EXPECT_EQ(ds.RecNo(), 1);                                             // not found: stays
    EXPECT_TRUE(ds.Locate(keys, VarArrayOf({"0001", "abc123", "02"}), loCaseInsensitive));
    EXPECT_EQ(ds.FieldByName("DSTITULO")->AsString(), "segunda");
    EXPECT_FALSE(ds.Locate(keys, VarArrayOf({"0003", "ABC123", "02"}), loCaseInsensitive));
    EXPECT_EQ(ds.FieldByName("DSTITULO")->AsString(), "segunda");
    EXPECT_TRUE(ds.Locate(QStringLiteral("DSTITULO"), QStringLiteral("OUT"), loCaseInsensitive | loPartialKey));
    EXPECT_EQ(ds.FieldByName("CDFILIAL")->AsString(), "0002");
    EXPECT_THROW(ds.Locate(keys, VarArrayOf({"0001"})), EDataSetError);
}

TEST(DataSet, CalculatedFieldsAndGetTextShowInTheList)
{
    auto ds = halls();
    int calculations = 0;
    ds->OnCalcFields = [&](TClientDataSet& d) {
        ++calculations;
        d.FieldByName("VrCobrSalao")->SetAsFloat(d.FieldByName("VRCOBAGENSALAO")->AsFloat() * 1.1);
    };
    ds->FieldByName("CDSALAOEVEN")->OnGetText = [](TField& f, QString& text, bool) { text = QStringLiteral("Sala ") + f.AsString(); };
    ds->SetData(hallRows());
    EXPECT_DOUBLE_EQ(ds->FieldByName("VrCobrSalao")->AsFloat(), 2750.0);
    EXPECT_EQ(ds->FieldByName("VrCobrSalao")->DisplayText(), "2.750,00");
    EXPECT_EQ(ds->FieldByName("CDSALAOEVEN")->DisplayText(), "Sala 001");
    EXPECT_EQ(ds->FieldByName("CDSALAOEVEN")->AsString(), "001");

    TDataSource source(nullptr, QStringLiteral("dtsSalaoEven"), ds.get());
    TDataSetModel model(&source);
    ASSERT_EQ(model.columnCount(), 4);   // IDMARCADO, code, name, value: the visible fields
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Código");
    EXPECT_EQ(model.headerData(3, Qt::Horizontal).toString(), "Valor");
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), "Sala 002");
    EXPECT_EQ(model.data(model.index(1, 3)).toString(), "1.358.023,70");
    EXPECT_EQ(model.data(model.index(2, 3)).toString(), "0,00");
    EXPECT_EQ(ds->RecNo(), 1);   // listing does not move the cursor

    // Editing a record recalculates it once posted.
    ds->Edit();
    ds->FieldByName("VRCOBAGENSALAO")->SetAsFloat(100);
    ds->Post();
    EXPECT_EQ(model.data(model.index(0, 3)).toString(), "110,00");
    EXPECT_GT(calculations, 0);
    EXPECT_THROW(ds->FieldByName("VrCobrSalao")->SetAsFloat(1), EDataSetError);
}

// A grid may outlive the dataset or the data source it shows (a form's members go before its
// child widgets): its columns go with them, so that nothing reads a field that is gone.
TEST(DataSetModel, ColumnsGoWithTheirDataSetOrDataSource)
{
    for (const bool dataSetFirst : {true, false}) {
        auto ds = halls();
        ds->SetData(hallRows());
        auto source = std::make_unique<TDataSource>(nullptr, QStringLiteral("dtsSalaoEven"), ds.get());
        TDataSetModel model(source.get());
        ASSERT_EQ(model.columnCount(), 4);
        if (dataSetFirst)
            ds.reset();
        else
            source.reset();
        EXPECT_EQ(model.columnCount(), 0) << dataSetFirst;
        EXPECT_EQ(model.rowCount(), 0) << dataSetFirst;
        EXPECT_FALSE(model.headerData(1, Qt::Horizontal).isValid()) << dataSetFirst;
    }
}

// Dates as text: put into date and date-time fields, and read from a text field.
struct DateText {
    const char* text;
    const char* value;   // the wall clock read, "yyyy-MM-dd HH:mm:ss.zzz"; null: no date
};

void PrintTo(const DateText& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class DataSetDateText : public ::testing::TestWithParam<DateText> {};

TEST_P(DataSetDateText, IsReadAsTheWallClockOrRefused)
{
    const DateText& c = GetParam();
    TClientDataSet ds(nullptr, QStringLiteral("cdsDatas"));
    ds.DefineFields({{"DTHR", TFieldType::DateTime}, {"DT", TFieldType::Date}, {"TX", TFieldType::String, 60}});
    ds.CreateDataSet();
    ds.Append();
    const QString text = QString::fromUtf8(c.text);
    ds.FieldByName("TX")->SetAsString(text);
    if (!c.value) {
        try {
            ds.FieldByName("DTHR")->SetAsString(text);
            FAIL() << "accepted as " << ds.FieldByName("DTHR")->AsDateTime().toString(Qt::ISODateWithMs).toStdString();
        } catch (const EDataSetError& e) {
            EXPECT_EQ(e.message(), QStringLiteral("Campo DTHR: o valor \"%1\" não é uma data.").arg(text));
        }
        EXPECT_THROW(ds.FieldByName("DT")->SetAsString(text), EDataSetError);
        EXPECT_THROW(ds.FieldByName("TX")->AsDateTime(), EDataSetError);
        EXPECT_TRUE(ds.FieldByName("DTHR")->IsNull());
        return;
    }
    const QString value = QString::fromLatin1(c.value);
    const QDate day = QDate::fromString(value.left(10), Qt::ISODate);
    const QTime time = QTime::fromString(value.mid(11), QStringLiteral("HH:mm:ss.zzz"));
    ASSERT_TRUE(day.isValid() && time.isValid()) << c.value;
    ds.FieldByName("DTHR")->SetAsString(text);
    ds.FieldByName("DT")->SetAsString(text);
    const QDateTime stamp = ds.FieldByName("DTHR")->AsDateTime();
    EXPECT_EQ(stamp.date(), day);
    EXPECT_EQ(stamp.time(), time);
    EXPECT_EQ(ds.FieldByName("DT")->AsDate(), day);
    EXPECT_EQ(ds.FieldByName("DT")->AsDateTime().time(), QTime(0, 0));
    EXPECT_EQ(ds.FieldByName("TX")->AsDateTime(), stamp);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DataSetDateText,
    ::testing::Values(
        // The stored forms.
        DateText{"2026-12-10", "2026-12-10 00:00:00.000"},
        DateText{"2026-12-10T19:30:05", "2026-12-10 19:30:05.000"},
        DateText{"2026-12-10T19:30:05.123", "2026-12-10 19:30:05.123"},
        DateText{"2026-12-10T19:30:05.5", "2026-12-10 19:30:05.500"},
        DateText{"2026-12-10 19:30:05", "2026-12-10 19:30:05.000"},
        DateText{"  2026-12-10T08:00:00\t", "2026-12-10 08:00:00.000"},
        DateText{"1969-12-31T23:59:59", "1969-12-31 23:59:59.000"},
        // The display forms.
        DateText{"10/12/2026", "2026-12-10 00:00:00.000"},
        DateText{"10/12/2026 19:30", "2026-12-10 19:30:00.000"},
        DateText{"10/12/2026 19:30:05", "2026-12-10 19:30:05.000"},
        DateText{" 29/02/2024 ", "2024-02-29 00:00:00.000"},
        // Other ISO 8601 readings: no seconds, a zone (the wall clock stays), a longer fraction
        // (rounded), the end of the day.
        DateText{"2026-12-10T19:30", "2026-12-10 19:30:00.000"},
        DateText{"2026-12-10 19:30:05-03", "2026-12-10 19:30:05.000"},
        DateText{"2026-12-10T19:30:05.25Z", "2026-12-10 19:30:05.250"},
        DateText{"2026-12-10T19:30:05+05:30", "2026-12-10 19:30:05.000"},
        DateText{"2026-12-10 19:30:05.123456", "2026-12-10 19:30:05.123"},
        DateText{"2026-12-10T23:59:59.9996", "2026-12-11 00:00:00.000"},
        DateText{"2026-12-10T24:00", "2026-12-11 00:00:00.000"},
        // Impossible dates and times.
        DateText{"2026-02-30", nullptr},
        DateText{"2026-02-30T10:00:00", nullptr},
        DateText{"30/02/2026", nullptr},
        DateText{"29/02/2026 10:00", nullptr},
        DateText{"0000-01-01", nullptr},
        DateText{"2026-12-10T25:00:00", nullptr},
        DateText{"2026-12-10T19:60", nullptr},
        DateText{"2026-12-10T24:00:01", nullptr},
        DateText{"10/12/2026 24:00", nullptr},
        DateText{"10/12/2026 19:30:60", nullptr},
        // Text that is no date, or a date with something after it.
        DateText{"", nullptr},
        DateText{"amanhã", nullptr},
        DateText{"20261210", nullptr},
        DateText{"1/2/2026", nullptr},
        DateText{"10-12-2026", nullptr},
        DateText{"10/12/26", nullptr},
        DateText{"2026-12-10X", nullptr},
        DateText{"2026-12-10T19:30:05.", nullptr},
        DateText{"2026-12-10T19:30:05 -03:00", nullptr},
        DateText{"10/12/2026 19:30:05.1", nullptr},
        DateText{"١٠/١٢/٢٠٢٦", nullptr}),
    [](const auto& row) {
        std::string name = std::to_string(row.index) + "_";
        for (const char* c = row.param.text; *c; ++c)
            name += isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name;
    });

TEST(DataSet, LayoutsRejectWhatTheyCannotHold)
{
    TClientDataSet ds(nullptr, QStringLiteral("cdsX"));
    EXPECT_THROW(ds.DefineFields(QJsonArray{Json(R"({"name":"A","type":"money"})")}), EDataSetError);
    EXPECT_THROW(ds.DefineFields(QJsonArray{Json(R"({"name":"A","type":"string","size":-1})")}), EDataSetError);
    EXPECT_THROW(ds.DefineFields(QJsonArray{Json(R"({"name":"A","type":"string"})"), Json(R"({"name":"a","type":"string"})")}), EDataSetError);
    ds.DefineFields(QJsonArray{Json(R"({"name":"IDMARCADO","type":"string","size":1,"providerFlags":[]})")});
    EXPECT_EQ(ds.FieldByName("IDMARCADO")->ProviderFlags(), 0u);
}

} // namespace
