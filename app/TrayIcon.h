#pragma once
// The main window's icon in the notification area: its tooltip names what
// each connection has now, its menu applies a stored set with the same apply
// as the window's, and a click brings the window back.
#include "app/TrayContent.h"
#include "base/Classes.h"

#include <vector>

class TFrmMain;
class TNotifyIcon;
class TPopupMenu;
class TMenuItem;
class TqvIPSetManager;

// The connections that have an adapter and the stored sets, each marked
// when its connection shows it now (the check an apply ends with).
struct TTrayState {
    std::vector<TTrayConnection> Connections;
    std::vector<TTraySet> Sets;
};
TTrayState ReadTrayState(TqvIPSetManager& manager);

class TTrayIcon : public TComponent {
public:
    // Owned by `form`, whose menus, styler and manager it uses.
    explicit TTrayIcon(TFrmMain* form);
    ~TTrayIcon() override;

    // The tooltip anew from the adapters and the stored sets; the main
    // window calls it whenever it has read the adapters again.
    void Update();
    bool Shown() const;
    // The menu at screen point (x, y), built from what is stored and shown now.
    void ShowMenu(int x, int y);
    // The main window shown, restored and brought forward.
    void ShowMainWindow();
    TPopupMenu* Menu() const { return FMenu; }
    TNotifyIcon* Icon() const { return FIcon; }

    const char* ClassName() const override { return "TTrayIcon"; }

private:
    void BuildMenu(const TTrayState& state);
    void ApplySet(long long setID);
    TFrmMain* FForm;                // not owned: the owner
    TNotifyIcon* FIcon;             // owned as a component
    TPopupMenu* FMenu;              // a component of the form, which its styler draws
    std::vector<TMenuItem*> FItems; // components of the form, rebuilt with the menu
};
