#pragma once
// The IP set editor: a modal dialog working directly on the manager's two
// tables, on a new row (add) or on the current row (edit).
#include "editor/o_QVIPEdit.h"
#include "toolkit/ComCtrls.h"
#include "toolkit/DBCtrls.h"
#include "toolkit/Forms.h"
#include "toolkit/ListBox.h"

class TFrmIPSet : public TForm {
public:
    explicit TFrmIPSet(TComponent* owner);

    TPageControl* TabControl1;
    TPageControl* PageControl1;
    TTabSheet* TabSheet1;
    TButton* btnOk;
    TButton* btnCancel;
    TEdit* edtIPSetName;
    TLabel *Label1, *Label2, *Label3, *Label4, *Label5;
    TDBLookupComboBox* edtConnection;
    TLabel* Label6;
    TLabel* Label7;
    TCheckBox* DHCPCheck;
    TCheckBox* ConfirmCheck; // disabled when the file has no CONFIRM (read-only older file)
    TDataSource* dsIPSets;
    TDataSource* dsConnections;
    TqvIPEdit* edtSubNetMask;
    TqvIPEdit* edtDefGateway;
    TqvIPEdit* edtDns;
    TqvIPEdit* edtDns2; // disabled when the file has no DNS2 (read-only older file)
    TqvIPEdit* edtIPAddress;
    // Extra addresses: a pair typed here, Add puts it in the list. Disabled
    // when the file has no EXTRAADDRESSES (read-only older file).
    TLabel* Label8;
    TqvIPEdit* edtExtraAddress;
    TqvIPEdit* edtExtraMask;
    TListBox* lstExtraAddresses; // "10.1.0.5/255.255.0.0" per item
    TButton* btnAddExtra;
    TButton* btnRemoveExtra;

    void SetIPSetsTable(TDbTable* table);
    void SetConnectionsTable(TDbTable* table);
    void PrepareNewSet();
    // A new row holding these addresses (IP address, mask, gateway, DNS,
    // alternate DNS; "" for none), DHCP and the connection of that key (0: none),
    // and the extra addresses as stored.
    void PrepareNewSet(const std::vector<std::string>& addresses, bool dhcp, long long connection,
                       const std::string& extraAddresses = "");
    void LoadCurrentSet();
    // Checks the inputs and stores them; false when the dialog must stay open.
    bool SaveSet();

    void FormShow(TComponent* sender);
    void btnOkClick(TComponent* sender);
    void btnCancelClick(TComponent* sender);
    void DHCPCheckClick(TComponent* sender);
    // Adds the typed pair to the list after the same checks as the address;
    // false (the user told) when it is refused.
    bool AddExtraAddress();
    void btnRemoveExtraClick(TComponent* sender);

    const char* ClassName() const override { return "TFrmIPSet"; }

private:
    TDbTable* IPSets() const { return dsIPSets->DataSet; }
    bool HasDns2() const;
    bool HasExtraAddresses() const;
    void ShowExtraAddresses(const std::string& stored);
    std::string ListedExtraText() const; // the items joined as stored
    std::vector<std::pair<std::string, std::string>> ListedExtraAddresses() const;
    bool HasConfirm() const;
    // The name of the connection the set is given; "" for none.
    std::string ChosenConnectionName() const;
    // The committed, checked text of an address control, or false after
    // telling the user what is wrong. `required` names a field that must not
    // be empty; null for one that may.
    bool CheckedAddress(TqvIPEdit* edit, const char* required, std::string& value);
    // The addresses refused by the activation's rules are refused here too,
    // naming the field; a gateway outside the subnet is asked about.
    bool AddressesAccepted(const std::string& address, const std::string& mask,
                           const std::string& gateway, const std::string& dns,
                           const std::string& dns2, const std::string& extra);
};
