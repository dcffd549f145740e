#pragma once
// "Add Address to This Connection": an address and mask typed in the
// program's address controls, checked as the IP set editor checks an extra
// address, before the caller adds it to the connection.
#include "editor/o_QVIPEdit.h"
#include "toolkit/Forms.h"
#include "toolkit/StdCtrls.h"

#include <string>
#include <utility>
#include <vector>

class TFrmAddAddress : public TForm {
public:
    // `mainAddress` and `others`: what the connection has now, which the new
    // address must not repeat.
    TFrmAddAddress(TComponent* owner, const std::string& connection, const std::string& mainAddress,
                   const std::vector<std::pair<std::string, std::string>>& others);

    TLabel *lblConnection, *Label1, *Label2;
    TqvIPEdit* edtAddress;
    TqvIPEdit* edtMask;
    TButton *btnOk, *btnCancel;

    // The checked address and mask after Ok, in decimal.
    std::string Address, Mask;

    void btnOkClick(TComponent* sender);
    const char* ClassName() const override { return "TFrmAddAddress"; }

private:
    std::string FMainAddress;
    std::vector<std::pair<std::string, std::string>> FOthers;
    // The committed text of a control, or false after telling the user.
    bool Checked(TqvIPEdit* edit, const char* what, std::string& value);
};
