#include "app/f_About.h"

#include "toolkit/Jpeg.h"
#include "base/SysUtils.h"

#include <memory>

const char* const MakerURL = "https://www.brindlework.example/";
const char* const MakerHost = "www.brindlework.example";

TFrmAbout* FrmAbout = nullptr;

namespace {
TFormArgs AboutArgs() {
    TFormArgs a;
    a.Name = "FrmAbout";
    a.Caption = "Brindlework - About...";
    a.ClientWidth = 480; // 488 x 492 outside with the frame it was designed with
    a.ClientHeight = 458;
    a.Border = TFormBorder::bsSingle;
    a.Maximize = false;
    return a;
}
} // namespace

TFrmAbout::TFrmAbout(TComponent* owner) : TForm(owner, AboutArgs()) {
    Image1 = new TImage(this, this,
                        {.Width = 480, .Height = 83, .Align = TAlign::alTop, .Name = "Image1"});
    Image1->SetCursor(IDC_HAND);
    // A damaged banner leaves the box without one.
    TDecodedPicture banner = LoadJpegResource("ABOUTBANNER");
    if (banner.Bitmap) Image1->SetPicture(std::move(banner.Bitmap), banner.Width, banner.Height);
    Image1->OnClick = [this](TComponent* s) { Image1Click(s); };

    Panel1 = new TPanel(this, this, {.Height = 47, .Align = TAlign::alBottom, .Name = "Panel1"},
                        TBevelCut::bvRaised, TBevelCut::bvLowered);
    btnOk = new TButton(
        this, Panel1,
        {.Left = 218, .Top = 11, .Width = 75, .Height = 25, .Caption = "Ok", .Name = "btnOk"});
    btnOk->ModalResult = TModalResult::mrOk;
    DefaultButton = btnOk;
    CancelButton = btnOk;
    OnShow = [this](TComponent*) { btnOk->SetFocus(); };
    GroupBox1 = new TGroupBox(this, this, {.Align = TAlign::alClient, .Name = "GroupBox1"});
    qvFileInfoListView1 = new TqvFileInfoListView(
        this, GroupBox1,
        {.Width = 247, .Height = 311, .Align = TAlign::alLeft, .Name = "qvFileInfoListView1"});
    qvFileInfoListView1->SetReadOnly(false);
    Panel2 = new TPanel(this, GroupBox1, {.Align = TAlign::alClient, .Name = "Panel2"},
                        TBevelCut::bvRaised, TBevelCut::bvLowered);
    InfoMemo = new TMemo(
        this, Panel2, {.Height = 287, .Align = TAlign::alTop, .TabStop = false, .Name = "InfoMemo"},
        ES_READONLY, 0);
    InfoMemo->SetLines({"IP Tavix Ver 2", "", "", "", "IP Tavix is an application which manage ip ",
                        "setting configuration regarding multiple network ", "adapters.", "", "",
                        "It can save ip sets and apply them with ease.", "", "",
                        "Built with the GCC-based MinGW-w64 toolchain."});
    InfoMemo->SetEnabled(false);
    qvLinkLabel1 = new TqvLinkLabel(
        this, Panel2,
        {.Height = 13, .Caption = MakerHost, .Align = TAlign::alBottom, .Name = "qvLinkLabel1"},
        SS_CENTER);
    qvLinkLabel1->URL = MakerURL;
    qvLinkLabel1->LinkType = ltURL;
}

void TFrmAbout::Image1Click(TComponent*) {
    CallShellExecute(Handle(), "open", MakerURL, nullptr, nullptr, SW_HIDE);
}

void ShowAboutBox() {
    std::unique_ptr<TFrmAbout> box(new TFrmAbout(nullptr));
    FrmAbout = box.get();
    struct Forget {
        ~Forget() { FrmAbout = nullptr; }
    } forget;
    box->qvFileInfoListView1->SetFileName(ApplicationExeName());
    box->qvFileInfoListView1->SetColumnWidth(0, 100);
    box->qvFileInfoListView1->SetColumnWidth(1, 135);
    box->ShowModal();
}
