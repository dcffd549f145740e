#include "editor/f_AddAddress.h"

#include "activation/ExtraAddresses.h"
#include "base/AddressText.h"
#include "base/SysUtils.h"
#include "toolkit/Application.h"

namespace {

TFormArgs AddAddressArgs() {
    TFormArgs a;
    a.Name = "FrmAddAddress";
    a.Caption = "Add Address to This Connection";
    a.ClientWidth = 360; // the caption whole in the title bar
    a.ClientHeight = 132;
    a.Border = TFormBorder::bsDialog;
    a.Minimize = false;
    a.Maximize = false;
    return a;
}

} // namespace

TFrmAddAddress::TFrmAddAddress(TComponent* owner, const std::string& connection,
                               const std::string& mainAddress,
                               const std::vector<std::pair<std::string, std::string>>& others)
    : TForm(owner, AddAddressArgs()), FMainAddress(mainAddress), FOthers(others) {
    lblConnection = new TLabel(this, this,
                               {.Left = 12,
                                .Top = 12,
                                .Width = 336,
                                .Height = 13,
                                .Caption = "Connection : " + connection,
                                .Name = "lblConnection"});
    Label1 = new TLabel(this, this,
                        {.Left = 8,
                         .Top = 42,
                         .Width = 72,
                         .Height = 13,
                         .Caption = "IP Address :",
                         .Name = "Label1"},
                        SS_RIGHT);
    Label2 = new TLabel(this, this,
                        {.Left = 8,
                         .Top = 68,
                         .Width = 72,
                         .Height = 13,
                         .Caption = "Subnet Mask:",
                         .Name = "Label2"},
                        SS_RIGHT);
    auto address = [this](int top, const char* name, const char* spoken) {
        auto* edit = new TqvIPEdit(this, nullptr, {.Left = 88, .Top = top, .Name = name});
        edit->IPEditorWidth = 30;
        edit->SetParent(this);
        edit->SetAccessibleName(spoken);
        return edit;
    };
    edtAddress = address(38, "edtAddress", "IP Address");
    edtMask = address(64, "edtMask", "Subnet Mask");
    btnOk = new TButton(
        this, this,
        {.Left = 90, .Top = 98, .Width = 75, .Height = 25, .Caption = "Ok", .Name = "btnOk"});
    btnCancel = new TButton(this, this,
                            {.Left = 195,
                             .Top = 98,
                             .Width = 75,
                             .Height = 25,
                             .Caption = "Cancel",
                             .Name = "btnCancel"});
    btnOk->CausesValidation = false;
    btnCancel->CausesValidation = false;
    btnOk->OnClick = [this](TComponent* s) { btnOkClick(s); };
    btnCancel->ModalResult = TModalResult::mrCancel;
    OnShow = [this](TComponent*) { edtAddress->PartEditor(0)->SetFocus(); };
}

bool TFrmAddAddress::Checked(TqvIPEdit* edit, const char* what, std::string& value) {
    if (edit->PartsEdited() || edit->PartsEmpty()) {
        try {
            edit->Commit();
        } catch (const EConvertError&) {
        }
    }
    const std::string text = Trim(edit->IP());
    if (!text.empty() && IsDottedQuad(text)) {
        value = NormalizedAddress(text);
        return true;
    }
    Application->ShowMessage(text.empty() ? Format("Enter the %s.", what)
                                          : Format("IP Address %s is invalid!", text.c_str()));
    edit->PartEditor(0)->SetFocus();
    edit->PartEditor(0)->SelectAll();
    return false;
}

void TFrmAddAddress::btnOkClick(TComponent*) {
    std::string address, mask;
    if (!Checked(edtAddress, "IP address", address) || !Checked(edtMask, "subnet mask", mask))
        return;
    const std::string problem = ExtraAddressProblem({address, mask}, FMainAddress, FOthers);
    if (!problem.empty()) {
        Application->ShowMessage(problem, MB_OK | MB_ICONWARNING);
        TqvIPEdit* edit = problem.find("subnet mask") != std::string::npos ? edtMask : edtAddress;
        edit->PartEditor(0)->SetFocus();
        edit->PartEditor(0)->SelectAll();
        return;
    }
    Address = address;
    Mask = mask;
    SetModalResult(TModalResult::mrOk);
}
