#include "ipsets/f_WaitBox.h"

namespace {
TFormArgs WaitBoxArgs() {
    TFormArgs a;
    a.Name = "FrmWaitBox";
    a.Caption = "[IP Tavix Ver2] Please wait...";
    a.Width = 419;
    a.Height = 87;
    a.Border = TFormBorder::bsSingle;
    a.SystemMenu = false; // no close, minimise or maximise button either
    a.Minimize = false;
    a.Maximize = false;
    a.StayOnTop = true;
    return a;
}
} // namespace

TFrmWaitBox::TFrmWaitBox(TComponent* owner) : TForm(owner, WaitBoxArgs()) {
    Memo1 = new TMemo(this, this,
                      {.Caption = "Please wait while IP Tavix is applying the changes....",
                       .Align = TAlign::alClient,
                       .TabStop = false,
                       .Name = "Memo1"},
                      ES_READONLY, 0);
}
