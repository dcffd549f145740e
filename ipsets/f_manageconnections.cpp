#include "ipsets/f_manageconnections.h"

namespace {
TFormArgs ManageConnectionsArgs() {
    TFormArgs a;
    a.Name = "FrmManageConnections";
    a.Caption = "Connection Name List";
    a.Width = 411;
    a.Height = 402;
    a.Maximize = false;
    return a;
}
} // namespace

TFrmManageConnections::TFrmManageConnections(TComponent* owner)
    : TForm(owner, ManageConnectionsArgs()) {
    Panel1 = new TPanel(this, this, {.Height = 41, .Align = TAlign::alTop, .Name = "Panel1"},
                        TBevelCut::bvRaised, TBevelCut::bvLowered);
    RECT inside = Panel1->ClientRectForChildren();
    Memo1 =
        new TMemo(this, Panel1, {.TabStop = false, .Name = "Memo1"}, ES_READONLY | ES_CENTER, 0);
    // Inside the bevel, in pixels at the form's DPI.
    const int margin = Panel1->Scale(2);
    Memo1->SetBounds(inside.left + margin, inside.top + margin,
                     inside.right - inside.left - 2 * margin,
                     inside.bottom - inside.top - 2 * margin);
    Memo1->SetLines({"This is a list of network connection names as shown in ",
                     "Control Panel - >Network Connections."});
    TabControl1 =
        new TPanel(this, this, {.Height = 41, .Align = TAlign::alBottom, .Name = "TabControl1"});
    BitBtn1 = new TButton(
        this, TabControl1,
        {.Left = 164, .Top = 8, .Width = 75, .Height = 25, .Caption = "Ok", .Name = "BitBtn1"});
    BitBtn1->ModalResult = TModalResult::mrOk;
    ConnectionsDBGrid =
        new TDBGrid(this, this, {.Align = TAlign::alClient, .Name = "ConnectionsDBGrid"},
                    {{"ConnectionName", "Connection Name", 200}});
    ConnectionsDBGrid->OnKeyDown = [this](TComponent* sender, WORD key, UINT modifiers) {
        ConnectionsDBGridKeyDown(sender, key, modifiers);
    };
    dsConnections = new TDataSource(this);
    dsConnections->Name = "dsConnections";
    dsConnections->AutoEdit = false;
    // The grid comes first in the tab order.
    SetWindowPos(ConnectionsDBGrid->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void TFrmManageConnections::SetConnectionsTable(TDbTable* table) {
    FConnectionsTable = table;
    if (table) {
        dsConnections->DataSet = table;
        ConnectionsDBGrid->SetDataSource(dsConnections);
    }
}

void TFrmManageConnections::ConnectionsDBGridKeyDown(TComponent*, WORD, UINT) {}
