#pragma once
// The Connection Name List: every row of the Connections table in a grid
// that can delete rows, and nothing else.
#include "toolkit/DBCtrls.h"
#include "toolkit/Forms.h"

class TFrmManageConnections : public TForm {
public:
    explicit TFrmManageConnections(TComponent* owner);

    TPanel* Panel1;
    TMemo* Memo1;
    TPanel* TabControl1;
    TButton* BitBtn1;
    TDBGrid* ConnectionsDBGrid;
    TDataSource* dsConnections;

    void SetConnectionsTable(TDbTable* table);
    void ConnectionsDBGridKeyDown(TComponent* sender, WORD key, UINT modifiers);
    const char* ClassName() const override { return "TFrmManageConnections"; }

private:
    TDbTable* FConnectionsTable = nullptr; // not owned: the manager's
};
