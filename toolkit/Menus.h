#pragma once
// Menus as components: items owned by the form, arranged in a tree, built
// into HMENUs. Shortcuts become the owning form's accelerator table.
#include "base/Classes.h"
#include "toolkit/GdiHandles.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class TImageList;
class TMenu;

enum TShortCutModifier : BYTE { scNone = 0, scShift = FSHIFT, scCtrl = FCONTROL, scAlt = FALT };
struct TShortCut {
    WORD Key = 0; // virtual key, 0 for none
    BYTE Modifiers = scNone;
    bool operator==(const TShortCut&) const = default;
};
// "Ctrl+A", "Ins", "" for none.
std::string ShortCutToText(TShortCut shortCut);

struct TMenuItemArgs {
    std::string Name;
    std::string Caption;
    int ImageIndex = -1;
    TShortCut ShortCut;
    bool Visible = true;
    std::string Hint;
};

class TMenuItem : public TComponent {
public:
    // `owner` owns the item (the form); `parent` is the item it belongs under.
    TMenuItem(TComponent* owner, TMenuItem* parent, const TMenuItemArgs& args);
    ~TMenuItem() override;

    std::string Caption;
    int ImageIndex = -1;
    TShortCut ShortCut;
    bool Visible = true;
    bool Enabled = true;
    bool Checked = false;
    bool RadioItem = false;
    bool Default = false;
    std::string Hint;

    std::function<void(TComponent* sender)> OnClick;
    // Owner drawing: the size of the item, and its painting.
    std::function<void(TComponent* sender, HDC dc, int& width, int& height)> OnMeasureItem;
    std::function<void(TComponent* sender, HDC dc, const RECT& rect, bool selected)> OnDrawItem;

    bool IsLine() const { return Caption == "-"; }
    UINT Command() const { return FCommand; }
    TMenuItem* Parent() const { return FParent; }
    int Count() const { return static_cast<int>(FItems.size()); }
    TMenuItem* Items(int index) const;
    TMenu* GetParentMenu() const;
    // True for an entry of the menu bar itself.
    bool IsTopLevelOfMainMenu() const;
    void Click();

    const char* ClassName() const override { return "TMenuItem"; }

private:
    friend class TMenu;
    TMenuItem* FParent = nullptr;    // not owned
    std::vector<TMenuItem*> FItems;  // not owned: components of the form
    TMenu* FMenu = nullptr;          // set on the root item only
    UINT FCommand;
};

class TMenu : public TComponent {
public:
    TMenu(TComponent* owner, bool popup);
    ~TMenu() override;

    TMenuItem* Items() const { return FItems; } // the root; its children are the entries
    TImageList* Images = nullptr;               // not owned
    bool OwnerDraw() const { return FOwnerDraw; }
    void SetOwnerDraw(bool ownerDraw);
    bool IsRightToLeft = false;

    HMENU Handle();
    // Builds the HMENU anew from the items (after any change to them).
    void Rebuild();
    TMenuItem* FindItem(UINT command) const;
    // Every item below the root, depth first, in menu order.
    std::vector<TMenuItem*> AllItems() const;
    // Called after Rebuild so the window showing the menu can refresh it.
    std::function<void()> OnChange;

    const char* ClassName() const override { return "TMenu"; }

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    void Fill(HMENU menu, TMenuItem* parent);
    bool FPopup;
    bool FOwnerDraw = false;
    TMenuItem* FItems;    // owned
    TMenuHandle FHandle;  // built lazily
    std::vector<TBitmapHandle> FItemBitmaps;
};

class TMainMenu : public TMenu {
public:
    explicit TMainMenu(TComponent* owner) : TMenu(owner, false) {}
    const char* ClassName() const override { return "TMainMenu"; }
};

class TPopupMenu : public TMenu {
public:
    explicit TPopupMenu(TComponent* owner) : TMenu(owner, true) {}
    // Shows the menu at screen coordinates; commands go to `ownerWindow`
    // (the form's window when null).
    void Popup(int x, int y, HWND ownerWindow = nullptr);
    std::function<void(TComponent* sender)> OnPopup;
    const char* ClassName() const override { return "TPopupMenu"; }
};
