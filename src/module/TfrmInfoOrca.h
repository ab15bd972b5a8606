#pragma once
// The information dialog "Informações do Orçamento": the quote's delivery address (typed in,
// or taken from the client's or a hall's address, checked against the location tables) and
// its contracting client, saved on the server after each post.

#include "BaseForms.h"
#include "ui_TfrmInfoOrca.h"

#include <QVariantList>

#include <functional>

class QAction;
class TADOIBQuery;
class TClientDataSet;
class TDataSource;
class TMessages;
class TfrmProcOrca;

class TfrmInfoOrca : public TfrmPadraoSimples, public Ui::TfrmInfoOrcaLayout {
    Q_OBJECT
public:
    explicit TfrmInfoOrca(QWidget* parent = nullptr);
    ~TfrmInfoOrca() override;

    TMessages* msgPadraoAprov;
    TButtonFlat *sbtCadClie = nullptr, *sbtCadProd = nullptr;
    QAction *mnuCadClie = nullptr, *mnuCadProd = nullptr;

    TClientDataSet *cdsEndContOrca, *cdsCliente, *cdsEndeClie, *cdsEndSalao, *cdsEndeNovoClie, *cdsInteclieOrev;
    TDataSource *dtsEndeClie, *dtsEndSalao, *dtsEndeCliSal, *dtsEndeNovoClie, *dtsInteclieOrev;
    TADOIBQuery *qryPais, *qryEstado, *qryMunicipio, *qryBairro, *qryVd_Pais, *qryVd_Estado, *qryVd_Municipio, *qryVd_Bairro;
    TDataSource *dtsPais, *dtsEstado, *dtsMunicipio, *dtsBairro;

    // Checks of the address line and of the four location levels; `Required` makes an empty
    // value an error.
    void Vd_Endereco(bool Required);
    void Vd_Pais(bool Required);
    void Vd_Estado(bool Required);
    void Vd_Municipio(bool Required);
    void Vd_Bairro(bool Required);

protected:
    void FormCreate() override;
    void FormClose() override;
    void dtsPadraoStateChange() override;

private:
    // The record.
    void cdsEndContOrcaBeforePost();
    void cdsEndContOrcaAfterPost();
    QVariantList DeliveryAddress() const;
    QString Situation() const;   // IDSITUORCEVE, "" before the record is loaded
    bool Editing() const;
    void EnsureEditing();

    // Address sources.
    void cbbEndeClienteClick();
    void EnderecoDoCliente();
    void LimpaEndereco();
    enum Source { UnregisteredClient, RegisteredClient, ClientAddress, Hall };
    void CopyAddress(TClientDataSet* from, Source source);
    void sbtEndeClieBeforePesq(QObject* sender, bool& proceed);
    void sbtEndeClieAfterPesq(QObject* sender);
    QString ClientCode() const;

    // Location levels.
    void Validate(TADOIBQuery* query, TDBEdit* box, const char* field, int width, const QStringList& params, const char* emptyKey,
                  const char* unknownKey, bool required, const char* nameColumn, QLineEdit* nameBox);
    void LevelChanged(TDBEdit* box, int level);
    void EmptyBox(TDBEdit* box);
    void SearchLevel(TADOIBQuery* list, const QStringList& params);
    void LevelChosen(TADOIBQuery* list, TDBEdit* box, const char* field, const char* nameColumn, QLineEdit* nameBox);

    // Registration shortcuts.
    void sbtCadClieClick();
    void sbtCadProdClick();

    QString MsgAprov(const char* key) const;
    TfrmProcOrca* Processing() const;
    bool m_changeHandlers = true;   // off while an address source is copied in
    bool m_returningFocus = false;  // a failed box is taking the focus back: the box it leaves is not checked
    void OnExit(TDBEdit* box, std::function<void()> check);
    void ReturnFocus(TDBEdit* box);
};
