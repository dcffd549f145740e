#pragma once
// The main window: the tree of stored IP sets, the current configuration of
// every adapter, the menus and the Refresh button.
#include "adapters/AdapterWatch.h"
#include "ipsets/SetsInEffect.h"
#include "menustyler/o_QVMenuStyler.h"
#include "toolkit/ComCtrls.h"
#include "toolkit/Forms.h"
#include "toolkit/ImgList.h"
#include "toolkit/Menus.h"

#include <memory>
#include <vector>

class TqvIPSetManager;
class TTrayIcon;

class TFrmMain : public TForm {
public:
    explicit TFrmMain(TComponent* owner);

    // Controls and components, all owned by the window.
    TStatusBar* StatusBar;
    TPageControl* MainPageControl;
    TTabSheet* TabSheet1;
    TGroupBox* GroupBox1;
    TPanel* Panel1;
    TButton* RefreshBtn;
    TListView* IPListView;
    TSplitter* Splitter1;
    TTreeView* IPSetTreeView;
    TImageList* MenuImageList;
    TMainMenu* MainMenu;
    TMenuItem *File1, *Options1, *N1, *RefreshCurrentConfiguration1, *N5, *ExportIPSets1,
        *ImportIPSets1, *N2, *Exit1;
    TMenuItem *Connections1, *ManageConnections1;
    TMenuItem *IPSets1, *AddNewIPConfigurationSet1, *N3, *ActivatetheselectedIPSet1,
        *EdittheselectedIPSet1, *DeletetheselectedIPSet1, *NewIPSetFromConfiguration1, *N6,
        *UndoLastActivation1;
    TMenuItem *Options2, *MinimizetoNotificationArea1, *StartwithWindows1;
    TMenuItem *Help1, *HelpFile1, *About1;
    TPopupMenu* TreeViewPopUpMenu;
    TMenuItem *ActivatetheselectedIPSet2, *N4, *popmnuAddNewIPSet, *EdittheSelectedIPSet2,
        *DeletetheselectedIPSet2;
    TPopupMenu* ListViewPopUpMenu;
    TMenuItem* NewIPSetFromConfiguration2;
    TMenuItem *AddAddressToConnection1, *RemoveThisAddress1;
    TqvMenuStyler* qvMenuStyler1;

    TqvIPSetManager* IPSetManager() const { return FIPSetManager; }
    long long SelectedSetID() const { return FSelectedSetID; }
    // The icon in the notification area, added once; null until then. Its
    // tooltip follows from the message loop, after the window's first paint.
    void ShowTrayIcon();
    TTrayIcon* TrayIcon() const { return FTrayIcon; }
    // Brings the tray icon's tooltip up to date; call it whenever the
    // adapters were read again.
    void UpdateTrayIcon();
    // The apply of Ctrl+A for the set of that key (undo kept, failures
    // told); true when it is in effect and there was nothing to tell.
    bool ActivateSet(long long setID);

    void RefreshCurrentConfiguration1Click(TComponent* sender);
    void RefreshBtnClick(TComponent* sender);
    void IPSetTreeViewMouseDown(TComponent* sender, TMouseButton button, UINT keys, int x, int y);
    // Enter or Space on a set picks it, as a mouse press does; the arrows
    // alone only move the selection.
    void IPSetTreeViewKeyDown(TComponent* sender, WORD key);
    void Exit1Click(TComponent* sender);
    void HelpFile1Click(TComponent* sender);
    void ActivatetheselectedIPSet1Click(TComponent* sender);
    void AddNewIPConfigurationSet1Click(TComponent* sender);
    void EdittheselectedIPSet1Click(TComponent* sender);
    void DeletetheselectedIPSet1Click(TComponent* sender);
    void ManageConnections1Click(TComponent* sender);
    void About1Click(TComponent* sender);
    void ExportIPSets1Click(TComponent* sender);
    void ImportIPSets1Click(TComponent* sender);
    // Opens the add dialog filled from the adapter of the list's picked row.
    void NewIPSetFromConfiguration1Click(TComponent* sender);
    void AddAddressToConnection1Click(TComponent* sender);
    void RemoveThisAddress1Click(TComponent* sender);
    void UndoLastActivation1Click(TComponent* sender);
    // The end of every refresh of the adapters (Refresh, an apply, the live
    // view): the status bar says which set is in effect on each connection.
    void ShowConnectionStates(const std::vector<TConnectionState>& states);
    void MinimizetoNotificationArea1Click(TComponent* sender);
    // Registers the task that starts the program at logon, or deletes it.
    void StartwithWindows1Click(TComponent* sender);
    // The Options menu's ticks as they are now: the stored option, and
    // whether the logon task of this program exists.
    void UpdateOptionTicks();

    const char* ClassName() const override { return "TFrmMain"; }

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void CreateMenus();
    void PickSelectedSet();
    // Undo Last Activation is enabled only while there is one.
    void UpdateUndoItem();
    // Updates the Undo item when a command that may change it ends, however
    // it ends (a failure is raised through it).
    struct TUndoItemUpdate {
        TFrmMain* Form;
        ~TUndoItemUpdate() { Form->UpdateUndoItem(); }
    };
    // A change of the adapters seen by the watch, folded with its burst.
    void AdaptersChanged();
    TqvIPSetManager* FIPSetManager; // owned as a component
    // Gone before the window and the manager: no change reaches them after.
    std::unique_ptr<TAdapterWatch> FAdapterWatch;
    std::string FConnectionStatus; // what the status bar last said of the connections
    long long FSelectedSetID = 0;
    TTrayIcon* FTrayIcon = nullptr; // owned as a component
    bool FMinimizeToTray = true;
};

extern TFrmMain* FrmMain;

// The help file beside the program.
std::string HelpFilePath();
