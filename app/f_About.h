#pragma once
// The About box: the maker's banner, the program's version record, a short
// description with a link to the maker's web address, and Ok.
#include "fileinfo/o_FileInfoListView.h"
#include "fileinfo/o_LinkLabel.h"
#include "toolkit/ExtCtrls.h"
#include "toolkit/Forms.h"

// The maker's web address (a reserved example domain) and its host name.
extern const char* const MakerURL;
extern const char* const MakerHost;

class TFrmAbout : public TForm {
public:
    explicit TFrmAbout(TComponent* owner);

    TImage* Image1;
    TPanel* Panel1;
    TButton* btnOk;
    TGroupBox* GroupBox1;
    TqvFileInfoListView* qvFileInfoListView1;
    TPanel* Panel2;
    TMemo* InfoMemo;
    TqvLinkLabel* qvLinkLabel1;

    void Image1Click(TComponent* sender);
    const char* ClassName() const override { return "TFrmAbout"; }
};

// Set while an About box is shown.
extern TFrmAbout* FrmAbout;
// Builds a fresh box, fills it, shows it modally and destroys it.
void ShowAboutBox();
