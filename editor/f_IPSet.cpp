#include "editor/f_IPSet.h"

#include "activation/NetshCommand.h"
#include "store/IPDatabase.h"

#include "base/AddressText.h"
#include "base/NameText.h"
#include "base/SysUtils.h"
#include "activation/Activation.h"
#include "activation/ExtraAddresses.h"
#include "toolkit/Application.h"

namespace {

TFormArgs IPSetArgs() {
    TFormArgs a;
    a.Name = "FrmIPSet";
    a.Caption = "IP Set";
    a.ClientWidth = 412;  // 420 x 394 outside with the frame it was designed with
    a.ClientHeight = 440; // rows added for the second DNS server, the extra addresses
                          // and going back
    a.Maximize = false;
    return a;
}

} // namespace

TFrmIPSet::TFrmIPSet(TComponent* owner) : TForm(owner, IPSetArgs()) {
    // The strip comes first in the tab order, then the page.
    TabControl1 = new TPageControl(
        this, this, {.Height = 48, .Align = TAlign::alBottom, .Name = "TabControl1"});
    PageControl1 =
        new TPageControl(this, this, {.Align = TAlign::alClient, .Name = "PageControl1"});
    TabSheet1 = new TTabSheet(this, PageControl1, {.Caption = "IP Set", .Name = "TabSheet1"});
    PageControl1->SetActivePage(TabSheet1);
    btnOk = new TButton(
        this, TabControl1,
        {.Left = 16, .Top = 11, .Width = 75, .Height = 25, .Caption = "Ok", .Name = "btnOk"});
    btnCancel = new TButton(this, TabControl1,
                            {.Left = 320,
                             .Top = 11,
                             .Width = 75,
                             .Height = 25,
                             .Caption = "Cancel",
                             .Name = "btnCancel"});
    btnOk->OnClick = [this](TComponent* s) { btnOkClick(s); };
    // Ok checks every field itself, and Cancel none: moving the focus to
    // either checks nothing on the way.
    btnOk->CausesValidation = false;
    btnCancel->CausesValidation = false;
    btnCancel->OnClick = [this](TComponent* s) { btnCancelClick(s); };

    auto label = [this](int left, int top, int width, const char* text, const char* name) {
        return new TLabel(
            this, TabSheet1,
            {.Left = left, .Top = top, .Width = width, .Height = 13, .Caption = text, .Name = name},
            SS_RIGHT);
    };
    auto address = [this](int top, const char* name, const char* spoken, int left = 80) {
        auto* edit = new TqvIPEdit(this, nullptr, {.Left = left, .Top = top, .Name = name});
        edit->IPEditorWidth = 30;
        edit->SetParent(TabSheet1);
        edit->SetAccessibleName(spoken);
        return edit;
    };
    Label1 = label(8, 16, 66, "IP Set Name :", "Label1");
    edtIPSetName =
        new TEdit(this, TabSheet1,
                  {.Left = 78, .Top = 13, .Width = 251, .Height = 21, .Name = "edtIPSetName"});
    Label2 = label(16, 48, 57, "IP Address :", "Label2");
    edtIPAddress = address(42, "edtIPAddress", "IP Address");
    Label3 = label(6, 72, 66, "Subnet Mask:", "Label3");
    edtSubNetMask = address(67, "edtSubNetMask", "Subnet Mask");
    Label4 = label(4, 96, 68, "Def.Gateway :", "Label4");
    edtDefGateway = address(93, "edtDefGateway", "Default Gateway");
    Label5 = label(43, 120, 29, "DNS :", "Label5");
    edtDns = address(117, "edtDns", "DNS Server");
    Label7 = label(8, 144, 64, "Alt. DNS :", "Label7");
    edtDns2 = address(141, "edtDns2", "Alternate DNS Server");
    Label6 = label(12, 171, 60, "Connection :", "Label6");
    edtConnection = new TDBLookupComboBox(
        this, TabSheet1,
        {.Left = 79, .Top = 168, .Width = 186, .Height = 21, .Name = "edtConnection"});
    edtConnection->DataField = "connection";
    edtConnection->KeyField = IPDb::ID;
    edtConnection->ListField = "connectionname";
    DHCPCheck = new TCheckBox(this, TabSheet1,
                              {.Left = 80,
                               .Top = 200,
                               .Width = 145,
                               .Height = 17,
                               .Caption = "DHCP Enabled",
                               .Name = "DHCPCheck"});
    DHCPCheck->OnClick = [this](TComponent* s) { DHCPCheckClick(s); };
    // The extra addresses come last, in place and in the tab order.
    Label8 = new TLabel(this, TabSheet1,
                        {.Left = 8,
                         .Top = 228,
                         .Width = 100,
                         .Height = 13,
                         .Caption = "Extra addresses :",
                         .Name = "Label8"});
    edtExtraAddress = address(244, "edtExtraAddress", "Extra Address");
    edtExtraMask = address(244, "edtExtraMask", "Extra Subnet Mask", 236);
    lstExtraAddresses = new TListBox(
        this, TabSheet1,
        {.Left = 80, .Top = 270, .Width = 216, .Height = 52, .Name = "lstExtraAddresses"});
    lstExtraAddresses->SetAccessibleName("Extra Addresses");
    btnAddExtra = new TButton(this, TabSheet1,
                              {.Left = 304,
                               .Top = 270,
                               .Width = 75,
                               .Height = 23,
                               .Caption = "Add",
                               .Name = "btnAddExtra"});
    btnAddExtra->OnClick = [this](TComponent*) { AddExtraAddress(); };
    btnRemoveExtra = new TButton(this, TabSheet1,
                                 {.Left = 304,
                                  .Top = 298,
                                  .Width = 75,
                                  .Height = 23,
                                  .Caption = "Remove",
                                  .Name = "btnRemoveExtra"});
    btnRemoveExtra->OnClick = [this](TComponent* s) { btnRemoveExtraClick(s); };
    btnAddExtra->CausesValidation = false;
    btnRemoveExtra->CausesValidation = false;
    ConfirmCheck = new TCheckBox(this, TabSheet1,
                                 {.Left = 80,
                                  .Top = 330,
                                  .Width = 300,
                                  .Height = 17,
                                  .Caption = "Go back unless I keep it within 30 seconds",
                                  .Name = "ConfirmCheck"});

    dsIPSets = new TDataSource(this);
    dsIPSets->Name = "dsIPSets";
    dsConnections = new TDataSource(this);
    dsConnections->Name = "dsConnections";

    OnShow = [this](TComponent* s) { FormShow(s); };
    // The close button leaves nothing half-entered behind, as Cancel does.
    OnCloseQuery = [this](TComponent*, bool&) {
        if (IPSets() && IPSets()->Active()) IPSets()->Cancel();
    };
}

void TFrmIPSet::SetIPSetsTable(TDbTable* table) {
    dsIPSets->DataSet = table;
    edtConnection->SetDataSource(dsIPSets);
}

void TFrmIPSet::SetConnectionsTable(TDbTable* table) {
    dsConnections->DataSet = table;
    edtConnection->SetListSource(dsConnections);
}

std::string TFrmIPSet::ChosenConnectionName() const {
    TDbTable* names = dsConnections->DataSet;
    const long long key = IPSets()->FieldByName(IPDb::Connection).AsInteger();
    if (!names || !names->Active() || !key || !names->Locate(IPDb::ID, key)) return "";
    return names->FieldByName(IPDb::ConnectionName).AsString();
}

bool TFrmIPSet::HasDns2() const {
    return IPSets() && IPSets()->Active() && IPSets()->HasField(IPDb::Dns2);
}

bool TFrmIPSet::HasExtraAddresses() const {
    return IPSets() && IPSets()->Active() && IPSets()->HasField(IPDb::ExtraAddresses);
}

bool TFrmIPSet::HasConfirm() const {
    return IPSets() && IPSets()->Active() && IPSets()->HasField(IPDb::Confirm);
}

void TFrmIPSet::DHCPCheckClick(TComponent*) {
    const bool enabled = !DHCPCheck->Checked();
    for (TqvIPEdit* edit : {edtIPAddress, edtSubNetMask, edtDefGateway, edtDns})
        edit->SetEnabled(enabled);
    edtDns2->SetEnabled(enabled && HasDns2());
    const bool extra = enabled && HasExtraAddresses();
    edtExtraAddress->SetEnabled(extra);
    edtExtraMask->SetEnabled(extra);
    lstExtraAddresses->SetEnabled(extra);
    btnAddExtra->SetEnabled(extra);
    btnRemoveExtra->SetEnabled(extra);
}

void TFrmIPSet::ShowExtraAddresses(const std::string& stored) {
    lstExtraAddresses->Clear();
    edtExtraAddress->SetIP("");
    edtExtraMask->SetIP("");
    std::vector<TAddressPair> pairs;
    if (ParseExtraAddresses(stored, pairs)) {
        for (const TAddressPair& pair : pairs)
            lstExtraAddresses->AddItem(
                PairText({NormalizedAddress(pair.first), NormalizedAddress(pair.second)}));
        return;
    }
    // Text that is no list of pairs is shown as it is, never dropped: Ok
    // refuses it until the item that is no pair is removed.
    size_t start = 0;
    for (size_t end; start <= stored.size(); start = end + 1) {
        end = stored.find(';', start);
        if (end == std::string::npos) end = stored.size();
        if (const std::string item = Trim(stored.substr(start, end - start)); !item.empty())
            lstExtraAddresses->AddItem(item);
    }
}

std::string TFrmIPSet::ListedExtraText() const {
    std::string text;
    for (const std::string& item : lstExtraAddresses->Items())
        text += (text.empty() ? "" : ";") + item;
    return text;
}

std::vector<TAddressPair> TFrmIPSet::ListedExtraAddresses() const {
    std::vector<TAddressPair> pairs;
    if (!ParseExtraAddresses(ListedExtraText(), pairs)) pairs.clear();
    return pairs;
}

bool TFrmIPSet::AddExtraAddress() {
    std::string address, mask;
    if (!CheckedAddress(edtExtraAddress, "extra address", address) ||
        !CheckedAddress(edtExtraMask, "extra address's subnet mask", mask))
        return false;
    const std::vector<TAddressPair> listed = ListedExtraAddresses();
    std::string problem;
    if (listed.size() >= MaxExtraAddresses)
        problem = Format("A set holds at most %u extra addresses.",
                         static_cast<unsigned>(MaxExtraAddresses));
    else
        problem = ExtraAddressProblem({address, mask}, Trim(edtIPAddress->IP()), listed);
    if (!problem.empty()) {
        Application->ShowMessage(problem, MB_OK | MB_ICONWARNING);
        TqvIPEdit* edit =
            problem.find("subnet mask") != std::string::npos ? edtExtraMask : edtExtraAddress;
        edit->PartEditor(0)->SetFocus();
        edit->PartEditor(0)->SelectAll();
        return false;
    }
    lstExtraAddresses->AddItem(PairText({address, mask}));
    edtExtraAddress->SetIP("");
    edtExtraMask->SetIP("");
    edtExtraAddress->PartEditor(0)->SetFocus();
    return true;
}

void TFrmIPSet::btnRemoveExtraClick(TComponent*) {
    const int index = lstExtraAddresses->ItemIndex();
    if (index < 0) return;
    lstExtraAddresses->DeleteItem(index);
    if (lstExtraAddresses->Count() > 0)
        lstExtraAddresses->SetItemIndex(std::min(index, lstExtraAddresses->Count() - 1));
}

void TFrmIPSet::PrepareNewSet() {
    IPSets()->Insert();
    edtIPSetName->SetText("");
    for (TqvIPEdit* edit : {edtIPAddress, edtSubNetMask, edtDefGateway, edtDns, edtDns2})
        edit->SetIP("");
    ShowExtraAddresses("");
    DHCPCheck->SetChecked(false);
    DHCPCheckClick(DHCPCheck);
    ConfirmCheck->SetChecked(false);
    ConfirmCheck->SetEnabled(HasConfirm());
}

void TFrmIPSet::PrepareNewSet(const std::vector<std::string>& addresses, bool dhcp,
                              long long connection, const std::string& extraAddresses) {
    PrepareNewSet();
    if (HasExtraAddresses()) ShowExtraAddresses(extraAddresses);
    TqvIPEdit* const edits[] = {edtIPAddress, edtSubNetMask, edtDefGateway, edtDns, edtDns2};
    for (size_t i = 0; i < addresses.size() && i < std::size(edits); ++i) {
        try {
            edits[i]->SetIP(addresses[i]);
        } catch (const EConvertError&) {
            edits[i]->Clear();
        }
    }
    if (connection) IPSets()->FieldByName(IPDb::Connection).SetAsInteger(connection);
    DHCPCheck->SetChecked(dhcp);
    DHCPCheckClick(DHCPCheck);
}

void TFrmIPSet::LoadCurrentSet() {
    TDbTable* sets = IPSets();
    sets->Edit();
    edtIPSetName->SetText(sets->FieldByName(IPDb::SetName).AsString());
    const std::pair<TqvIPEdit*, const char*> fields[] = {{edtIPAddress, IPDb::Address},
                                                         {edtSubNetMask, IPDb::Mask},
                                                         {edtDefGateway, IPDb::Gateway},
                                                         {edtDns, IPDb::Dns},
                                                         {edtDns2, IPDb::Dns2}};
    for (const auto& [edit, field] : fields) {
        if (!sets->HasField(field)) {
            edit->Clear();
            continue;
        }
        // A stored address the control refuses leaves it empty; Ok then asks
        // for a valid one, so the set can still be corrected.
        try {
            edit->SetIP(sets->FieldByName(field).AsString());
        } catch (const EConvertError&) {
            edit->Clear();
        }
    }
    ShowExtraAddresses(sets->HasField(IPDb::ExtraAddresses)
                           ? sets->FieldByName(IPDb::ExtraAddresses).AsString()
                           : std::string());
    DHCPCheck->SetChecked(sets->FieldByName(IPDb::Dhcp).AsBoolean());
    DHCPCheckClick(DHCPCheck);
    ConfirmCheck->SetChecked(HasConfirm() && sets->FieldByName(IPDb::Confirm).AsBoolean());
    ConfirmCheck->SetEnabled(HasConfirm());
}

bool TFrmIPSet::CheckedAddress(TqvIPEdit* edit, const char* required, std::string& value) {
    // What was typed but not yet committed is committed now; four empty
    // parts are an empty field.
    if (edit->PartsEdited() || edit->PartsEmpty()) {
        try {
            edit->Commit();
        } catch (const EConvertError&) {
        }
    }
    std::string text = Trim(edit->IP());
    if (text.empty() && !required) {
        value.clear();
        return true;
    }
    if (!text.empty() && IsDottedQuad(text)) {
        value = NormalizedAddress(text); // a stored "010" would reach netsh as octal 8
        return true;
    }
    if (text.empty())
        Application->ShowMessage(Format("Enter the %s.", required));
    else
        Application->ShowMessage(Format("IP Address %s is invalid!", edit->IP().c_str()));
    edit->PartEditor(0)->SetFocus();
    edit->PartEditor(0)->SelectAll();
    return false;
}

bool TFrmIPSet::SaveSet() {
    const std::string name = Trim(edtIPSetName->Text());
    if (name.empty()) {
        Application->ShowMessage("Empty IP Set Name !! ");
        edtIPSetName->SetFocus();
        return false;
    }
    if (HasControlCharacter(name)) {
        Application->ShowMessage("The IP set name may not hold control characters (line breaks, "
                                 "tabs and the like).",
                                 MB_OK | MB_ICONWARNING);
        edtIPSetName->SetFocus();
        return false;
    }
    TDbTable* sets = IPSets();
    if (sets->State() != TDataSetState::dsEdit && sets->State() != TDataSetState::dsInsert)
        return true;
    if (HasControlCharacter(ChosenConnectionName())) {
        Application->ShowMessage("The name of the chosen connection holds control characters "
                                 "(line breaks, tabs and the like): choose another connection.",
                                 MB_OK | MB_ICONWARNING);
        edtConnection->SetFocus();
        return false;
    }
    const bool dhcp = DHCPCheck->Checked();
    std::string address = "0.0.0.0", mask = "0.0.0.0", gateway = "0.0.0.0", dns = "0.0.0.0", dns2;
    if (!dhcp &&
        !(CheckedAddress(edtIPAddress, "IP address", address) &&
          CheckedAddress(edtSubNetMask, "subnet mask", mask) &&
          CheckedAddress(edtDefGateway, nullptr, gateway) && CheckedAddress(edtDns, nullptr, dns) &&
          (!HasDns2() || CheckedAddress(edtDns2, nullptr, dns2))))
        return false;
    // A pair typed but not yet added is not lost: it is added as Add would.
    if (!dhcp && HasExtraAddresses() &&
        !(edtExtraAddress->PartsEmpty() && Trim(edtExtraAddress->IP()).empty() &&
          edtExtraMask->PartsEmpty() && Trim(edtExtraMask->IP()).empty()) &&
        !AddExtraAddress())
        return false;
    const std::string extra = !dhcp && HasExtraAddresses() ? ListedExtraText() : "";
    if (dns.empty() && !dns2.empty()) {
        // netsh would make the alternate server the first one.
        Application->ShowMessage("Enter the DNS server before the alternate one.");
        edtDns->PartEditor(0)->SetFocus();
        return false;
    }
    if (!dhcp && !AddressesAccepted(address, mask, gateway, dns, dns2, extra)) return false;
    if (std::string problem = ConnectionNameProblem(edtConnection->Text()); !problem.empty()) {
        Application->ShowMessage(problem + ", or choose another connection.",
                                 MB_OK | MB_ICONWARNING);
        edtConnection->SetFocus();
        return false;
    }
    sets->FieldByName(IPDb::SetName).SetAsString(name);
    sets->FieldByName(IPDb::Address).SetAsString(address);
    sets->FieldByName(IPDb::Mask).SetAsString(mask);
    sets->FieldByName(IPDb::Gateway).SetAsString(gateway);
    sets->FieldByName(IPDb::Dns).SetAsString(dns);
    if (HasDns2()) sets->FieldByName(IPDb::Dns2).SetAsString(dns2);
    if (HasExtraAddresses()) sets->FieldByName(IPDb::ExtraAddresses).SetAsString(extra);
    sets->FieldByName(IPDb::Dhcp).SetAsBoolean(dhcp);
    if (HasConfirm()) sets->FieldByName(IPDb::Confirm).SetAsBoolean(ConfirmCheck->Checked());
    sets->Post();
    return true;
}

bool TFrmIPSet::AddressesAccepted(const std::string& address, const std::string& mask,
                                  const std::string& gateway, const std::string& dns,
                                  const std::string& dns2, const std::string& extra) {
    TIPSetValues set;
    set.Address = address;
    set.Mask = mask;
    set.Gateway = gateway;
    set.Dns = dns;
    set.Dns2 = dns2;
    set.ExtraAddresses = extra;
    std::string field;
    const std::string refusal = SetAddressRefusal(set, &field);
    TqvIPEdit* edit = field == "subnet mask"         ? edtSubNetMask
                      : field == "gateway"           ? edtDefGateway
                      : field == "DNS server"        ? edtDns
                      : field == "second DNS server" ? edtDns2
                                                     : edtIPAddress;
    if (refusal.empty() && GatewayOutsideSubnet(set)) {
        // Allowed, as Windows' own dialog allows it after the same question.
        if (MessageBoxA(Handle(),
                        "The default gateway is not in the same subnet as the IP address. Save "
                        "anyway?",
                        Application->Title.c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES)
            return true;
        edit = edtDefGateway;
    } else if (refusal.empty()) {
        return true;
    } else {
        Application->ShowMessage(refusal, MB_OK | MB_ICONWARNING);
        if (field == "extra addresses") {
            lstExtraAddresses->SetFocus();
            return false;
        }
    }
    edit->PartEditor(0)->SetFocus();
    edit->PartEditor(0)->SelectAll();
    return false;
}

void TFrmIPSet::FormShow(TComponent*) {
    if (edtIPSetName->Enabled()) edtIPSetName->SetFocus();
}

void TFrmIPSet::btnOkClick(TComponent*) {
    const bool adding = IPSets()->State() == TDataSetState::dsInsert;
    try {
        if (SaveSet()) SetModalResult(TModalResult::mrOk);
    } catch (const EDatabaseRowGone&) {
        // Deleted by another program meanwhile: nothing was stored, and the
        // dialog closes so the rebuilt tree shows what the file holds.
        IPSets()->Cancel();
        Application->ShowMessage(adding ? "This IP set was not stored: the database file refused "
                                          "it without an error."
                                        : "This IP set no longer exists in the database.",
                                 MB_OK | MB_ICONWARNING);
        SetModalResult(TModalResult::mrCancel);
    }
}

void TFrmIPSet::btnCancelClick(TComponent*) {
    IPSets()->Cancel();
    SetModalResult(TModalResult::mrOk);
}
