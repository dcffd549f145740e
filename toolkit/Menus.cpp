#include "toolkit/Menus.h"

#include "toolkit/Controls.h"
#include "toolkit/ImgList.h"
#include "base/SysUtils.h"

#include <algorithm>

namespace {
UINT nextCommand = 100;

std::string KeyName(WORD key) {
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))
        return std::string(1, static_cast<char>(key));
    if (key >= VK_F1 && key <= VK_F24) return "F" + std::to_string(key - VK_F1 + 1);
    switch (key) {
    case VK_INSERT: return "Ins";
    case VK_DELETE: return "Del";
    case VK_BACK: return "BkSp";
    case VK_TAB: return "Tab";
    case VK_RETURN: return "Enter";
    case VK_ESCAPE: return "Esc";
    case VK_SPACE: return "Space";
    case VK_HOME: return "Home";
    case VK_END: return "End";
    case VK_PRIOR: return "PgUp";
    case VK_NEXT: return "PgDn";
    case VK_LEFT: return "Left";
    case VK_RIGHT: return "Right";
    case VK_UP: return "Up";
    case VK_DOWN: return "Down";
    default: return Format("#%u", key);
    }
}
} // namespace

std::string ShortCutToText(TShortCut shortCut) {
    if (!shortCut.Key) return std::string();
    std::string text;
    if (shortCut.Modifiers & scShift) text += "Shift+";
    if (shortCut.Modifiers & scCtrl) text += "Ctrl+";
    if (shortCut.Modifiers & scAlt) text += "Alt+";
    return text + KeyName(shortCut.Key);
}

// ---------------------------------------------------------------- items

TMenuItem::TMenuItem(TComponent* owner, TMenuItem* parent, const TMenuItemArgs& args)
    : TComponent(owner), Caption(args.Caption), ImageIndex(args.ImageIndex),
      ShortCut(args.ShortCut), Visible(args.Visible), Hint(args.Hint), FParent(parent),
      FCommand(nextCommand++) {
    Name = args.Name;
    if (FParent) FParent->FItems.push_back(this);
}

TMenuItem::~TMenuItem() {
    for (TMenuItem* child : FItems) child->FParent = nullptr;
    if (FParent) {
        auto& list = FParent->FItems;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}

TMenuItem* TMenuItem::Items(int index) const {
    if (index < 0 || index >= Count()) throw EListError(index);
    return FItems[static_cast<size_t>(index)];
}

TMenu* TMenuItem::GetParentMenu() const {
    const TMenuItem* item = this;
    while (item->FParent) item = item->FParent;
    return item->FMenu;
}

bool TMenuItem::IsTopLevelOfMainMenu() const {
    TMenu* menu = GetParentMenu();
    return menu && FParent && FParent == menu->Items() && dynamic_cast<TMainMenu*>(menu);
}

void TMenuItem::Click() {
    if (Enabled && OnClick) OnClick(this);
}

// ---------------------------------------------------------------- menus

TMenu::TMenu(TComponent* owner, bool popup)
    : TComponent(owner), FPopup(popup), FItems(new TMenuItem(nullptr, nullptr, {})) {
    FItems->FMenu = this;
}

TMenu::~TMenu() { delete FItems; }

void TMenu::SetOwnerDraw(bool ownerDraw) {
    if (FOwnerDraw == ownerDraw) return;
    FOwnerDraw = ownerDraw;
    Rebuild();
}

void TMenu::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component == Images) Images = nullptr;
    TComponent::Notification(component, operation);
}

HMENU TMenu::Handle() {
    if (!FHandle) Rebuild();
    return FHandle.Get();
}

void TMenu::Fill(HMENU menu, TMenuItem* parent) {
    for (TMenuItem* item : parent->FItems) {
        if (!item->Visible) continue;
        MENUITEMINFOA info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_DATA;
        info.wID = item->FCommand;
        info.dwItemData = reinterpret_cast<ULONG_PTR>(item);
        info.fState = (item->Enabled ? MFS_ENABLED : MFS_DISABLED) |
                      (item->Checked ? MFS_CHECKED : 0) | (item->Default ? MFS_DEFAULT : 0);
        std::string text = item->Caption;
        if (item->IsLine()) {
            info.fType = MFT_SEPARATOR;
        } else {
            info.fMask |= MIIM_STRING;
            // A menu bar shows no shortcuts; its menus and a pop-up menu do.
            if (!ShortCutToText(item->ShortCut).empty() && (parent != FItems || FPopup))
                text += "\t" + ShortCutToText(item->ShortCut);
            info.dwTypeData = text.data();
            if (item->RadioItem) info.fType |= MFT_RADIOCHECK;
        }
        if (FOwnerDraw) info.fType |= MFT_OWNERDRAW;
        if (IsRightToLeft) info.fType |= MFT_RIGHTORDER | MFT_RIGHTJUSTIFY;
        if (!item->FItems.empty()) {
            HMENU sub = CreatePopupMenu();
            Fill(sub, item);
            info.fMask |= MIIM_SUBMENU;
            info.hSubMenu = sub;
        }
        if (!FOwnerDraw && Images && item->ImageIndex >= 0 && item->ImageIndex < Images->Count() &&
            !item->IsLine() && parent != FItems) {
            info.fMask |= MIIM_BITMAP;
            info.hbmpItem = Images->Bitmap(item->ImageIndex);
        }
        InsertMenuItemA(menu, GetMenuItemCount(menu), TRUE, &info);
    }
}

void TMenu::Rebuild() {
    HMENU menu = FPopup ? CreatePopupMenu() : CreateMenu();
    Fill(menu, FItems);
    FHandle.Reset(menu);
    if (OnChange) OnChange();
}

std::vector<TMenuItem*> TMenu::AllItems() const {
    std::vector<TMenuItem*> out;
    std::function<void(TMenuItem*)> walk = [&](TMenuItem* parent) {
        for (TMenuItem* item : parent->FItems) {
            out.push_back(item);
            walk(item);
        }
    };
    walk(FItems);
    return out;
}

TMenuItem* TMenu::FindItem(UINT command) const {
    for (TMenuItem* item : AllItems())
        if (item->FCommand == command) return item;
    return nullptr;
}

void TPopupMenu::Popup(int x, int y, HWND ownerWindow) {
    if (OnPopup) OnPopup(this);
    if (!ownerWindow)
        for (TComponent* c = Owner(); c && !ownerWindow; c = c->Owner())
            if (auto* control = dynamic_cast<TControl*>(c)) ownerWindow = control->Handle();
    Rebuild();
    // The command arrives as WM_COMMAND at the owner window, like a menu bar's.
    TrackPopupMenu(Handle(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, ownerWindow, nullptr);
    PostMessageA(ownerWindow, WM_NULL, 0, 0);
}
