#include "toolkit/ComCtrls.h"

#include "base/SysUtils.h"

#include <windowsx.h>

#include <algorithm>

// ---------------------------------------------------------------- status bar

TStatusBar::TStatusBar(TComponent* owner, TControl* parent, const TControlArgs& args)
    : TControl(owner, parent) {
    // The toolkit sets the bar's height; the control must not size itself.
    CreateWnd(STATUSCLASSNAMEA, CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER | SBARS_SIZEGRIP,
              0, WithoutTabStop(args));
    int edges[1] = {-1};
    SendMessageA(Handle(), SB_SETPARTS, 1, reinterpret_cast<LPARAM>(edges));
}

void TStatusBar::SetSimpleText(const std::string& text) {
    SendMessageA(Handle(), SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string TStatusBar::PanelText() const {
    char buf[512] = {};
    SendMessageA(Handle(), SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(buf));
    return buf;
}

// ---------------------------------------------------------------- pages

TPageControl::TPageControl(TComponent* owner, TControl* parent, const TControlArgs& args)
    : TControl(owner, parent) {
    CreateWnd(WC_TABCONTROLA, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, args);
}

RECT TPageControl::ClientRectForChildren() const {
    RECT r = TControl::ClientRectForChildren();
    TabCtrl_AdjustRect(Handle(), FALSE, &r);
    r.top += 2; // the sheets start two pixels below the control's display area
    return r;
}

TTabSheet* TPageControl::ActivePage() const {
    int index = TabCtrl_GetCurSel(Handle());
    return index >= 0 && index < PageCount() ? FPages[static_cast<size_t>(index)] : nullptr;
}

void TPageControl::SetActivePage(TTabSheet* page) {
    for (size_t i = 0; i < FPages.size(); ++i) {
        bool active = FPages[i] == page;
        if (active) TabCtrl_SetCurSel(Handle(), static_cast<int>(i));
        FPages[i]->SetVisible(active);
    }
}

LRESULT TPageControl::Notify(NMHDR* header, bool& handled) {
    if (header->code == TCN_SELCHANGE) {
        SetActivePage(ActivePage());
        handled = true;
    }
    return 0;
}

TTabSheet::TTabSheet(TComponent* owner, TPageControl* pageControl, const TControlArgs& args)
    : TCustomControl(
          owner, pageControl,
          [&] {
              TControlArgs a = WithoutTabStop(args);
              a.Align = TAlign::alClient;
              return a;
          }(),
          "TIPTavixTabSheet"),
      FPageControl(pageControl) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    std::string text = args.Caption;
    item.pszText = text.data();
    SendMessageA(pageControl->Handle(), TCM_INSERTITEMA, pageControl->PageCount(),
                 reinterpret_cast<LPARAM>(&item));
    pageControl->FPages.push_back(this);
    pageControl->Realign();
}

TTabSheet::~TTabSheet() {
    auto& pages = FPageControl->FPages;
    pages.erase(std::remove(pages.begin(), pages.end(), this), pages.end());
}

// ---------------------------------------------------------------- splitter

TSplitter::TSplitter(TComponent* owner, TControl* parent, const TControlArgs& args)
    : TCustomControl(owner, parent, WithoutTabStop(args), "TIPTavixSplitter") {
    bool vertical = args.Align == TAlign::alLeft || args.Align == TAlign::alRight;
    SetCursor(vertical ? IDC_SIZEWE : IDC_SIZENS);
}

TControl* TSplitter::FindResizeControl() const {
    // The sibling with the same alignment that the splitter touches.
    TControl* parent = Parent();
    if (!parent) return nullptr;
    for (int i = 0; i < parent->ControlCount(); ++i) {
        TControl* c = parent->Controls(i);
        if (c == this || c->Align() != Align() || !c->Visible()) continue;
        switch (Align()) {
        case TAlign::alBottom:
            if (c->Top() == Top() + Height()) return c;
            break;
        case TAlign::alTop:
            if (c->Top() + c->Height() == Top()) return c;
            break;
        case TAlign::alLeft:
            if (c->Left() + c->Width() == Left()) return c;
            break;
        case TAlign::alRight:
            if (c->Left() == Left() + Width()) return c;
            break;
        default:
            break;
        }
    }
    return nullptr;
}

LRESULT TSplitter::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_LBUTTONDOWN: {
        FResizing = FindResizeControl();
        if (!FResizing) break;
        POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ClientToScreen(Handle(), &p);
        FDownX = p.x;
        FDownY = p.y;
        bool vertical = Align() == TAlign::alLeft || Align() == TAlign::alRight;
        FStartSize = vertical ? FResizing->Width() : FResizing->Height();
        SetCapture(Handle());
        return 0;
    }
    case WM_MOUSEMOVE:
        if (FResizing && GetCapture() == Handle()) {
            POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ClientToScreen(Handle(), &p);
            RECT area = Parent()->ClientRectForChildren();
            int size = FStartSize;
            int room = 0;
            switch (Align()) {
            case TAlign::alBottom:
                size += FDownY - p.y;
                room = area.bottom - area.top;
                break;
            case TAlign::alTop:
                size += p.y - FDownY;
                room = area.bottom - area.top;
                break;
            case TAlign::alLeft:
                size += p.x - FDownX;
                room = area.right - area.left;
                break;
            case TAlign::alRight:
                size += FDownX - p.x;
                room = area.right - area.left;
                break;
            default:
                break;
            }
            // Both sides keep at least MinSize pixels at 96 DPI.
            int thickness =
                (Align() == TAlign::alLeft || Align() == TAlign::alRight) ? Width() : Height();
            const int least = Scale(MinSize);
            size = std::clamp(size, least, std::max(least, room - thickness - least));
            if (Align() == TAlign::alLeft || Align() == TAlign::alRight)
                FResizing->SetWidth(size);
            else
                FResizing->SetHeight(size);
            Parent()->Realign();
            return 0;
        }
        break;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (FResizing) {
            FResizing = nullptr;
            if (msg == WM_LBUTTONUP) ReleaseCapture();
            return 0;
        }
        break;
    default:
        break;
    }
    return TCustomControl::WndProc(msg, wParam, lParam);
}

// ---------------------------------------------------------------- tree view

TTreeView::TTreeView(TComponent* owner, TControl* parent, const TControlArgs& args)
    : TControl(owner, parent) {
    CreateWnd(WC_TREEVIEWA, TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT, WS_EX_CLIENTEDGE,
              args);
}

HTREEITEM TTreeView::AddChild(HTREEITEM parent, const std::string& text, LPARAM data) {
    TVINSERTSTRUCTA ins{};
    ins.hParent = parent ? parent : TVI_ROOT;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM;
    std::string copy = text;
    ins.item.pszText = copy.data();
    ins.item.lParam = data;
    return reinterpret_cast<HTREEITEM>(
        SendMessageA(Handle(), TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&ins)));
}

HTREEITEM TTreeView::AddChildWithLines(HTREEITEM parent, const std::string& text, LPARAM data,
                                       std::vector<std::string> lines) {
    TVINSERTSTRUCTA ins{};
    ins.hParent = parent ? parent : TVI_ROOT;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
    std::string copy = text;
    ins.item.pszText = copy.data();
    ins.item.lParam = data;
    ins.item.cChildren = lines.empty() ? 0 : 1;
    auto node = reinterpret_cast<HTREEITEM>(
        SendMessageA(Handle(), TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&ins)));
    if (node && !lines.empty()) FPendingLines.emplace(node, std::move(lines));
    return node;
}

void TTreeView::InsertLines(HTREEITEM node) const {
    auto it = FPendingLines.find(node);
    if (it == FPendingLines.end()) return;
    std::vector<std::string> lines = std::move(it->second);
    FPendingLines.erase(it);
    for (const std::string& line : lines)
        const_cast<TTreeView*>(this)->AddChild(node, line, 0);
}

namespace {
const UINT RunLaterMessage = WM_APP + 0x54;
}

void TTreeView::Later(std::function<void()> work) {
    FLater = std::move(work);
    if (FLater) PostMessageA(Handle(), RunLaterMessage, 0, 0);
}

void TTreeView::RunLater() {
    std::function<void()> work = std::move(FLater);
    FLater = nullptr;
    if (work) work();
}

int TTreeView::VisibleRows() const {
    return static_cast<int>(TreeView_GetVisibleCount(Handle())) + 1;
}

void TTreeView::Clear() {
    FLater = nullptr;
    FPendingLines.clear();
    TreeView_DeleteAllItems(Handle());
}

int TTreeView::Count() const {
    size_t pending = 0;
    for (const auto& entry : FPendingLines)
        pending += entry.second.size();
    return static_cast<int>(TreeView_GetCount(Handle()) + pending);
}

HTREEITEM TTreeView::Selected() const {
    return TreeView_GetSelection(Handle());
}

void TTreeView::Select(HTREEITEM node) {
    TreeView_SelectItem(Handle(), node);
}

HTREEITEM TTreeView::NodeParent(HTREEITEM node) const {
    return TreeView_GetParent(Handle(), node);
}

HTREEITEM TTreeView::FirstChild(HTREEITEM node) const {
    if (node == TVI_ROOT || !node) return TreeView_GetRoot(Handle());
    InsertLines(node);
    return TreeView_GetChild(Handle(), node);
}

HTREEITEM TTreeView::NextSibling(HTREEITEM node) const {
    return TreeView_GetNextSibling(Handle(), node);
}

std::string TTreeView::NodeText(HTREEITEM node) const {
    char buf[1024] = {};
    TVITEMA item{};
    item.mask = TVIF_TEXT;
    item.hItem = node;
    item.pszText = buf;
    item.cchTextMax = sizeof(buf);
    SendMessageA(Handle(), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return buf;
}

LPARAM TTreeView::NodeData(HTREEITEM node) const {
    TVITEMA item{};
    item.mask = TVIF_PARAM;
    item.hItem = node;
    SendMessageA(Handle(), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return item.lParam;
}

bool TTreeView::NodeBold(HTREEITEM node) const {
    return TreeView_GetItemState(Handle(), node, TVIS_BOLD) & TVIS_BOLD;
}

void TTreeView::SetNodeBold(HTREEITEM node, bool bold) {
    TreeView_SetItemState(Handle(), node, bold ? TVIS_BOLD : 0, TVIS_BOLD);
}

bool TTreeView::Expanded(HTREEITEM node) const {
    return TreeView_GetItemState(Handle(), node, TVIS_EXPANDED) & TVIS_EXPANDED;
}

void TTreeView::Expand(HTREEITEM node, bool expand) {
    TreeView_Expand(Handle(), node, expand ? TVE_EXPAND : TVE_COLLAPSE);
}

HTREEITEM TTreeView::GetNodeAt(int x, int y) const {
    TVHITTESTINFO hit{};
    hit.pt = {x, y};
    HTREEITEM node = TreeView_HitTest(Handle(), &hit);
    return (hit.flags & TVHT_ONITEM) ? node : nullptr;
}

HTREEITEM TTreeView::GetRowAt(int x, int y) const {
    TVHITTESTINFO hit{};
    hit.pt = {x, y};
    HTREEITEM node = TreeView_HitTest(Handle(), &hit);
    return (hit.flags & (TVHT_ONITEM | TVHT_ONITEMRIGHT | TVHT_ONITEMINDENT)) ? node : nullptr;
}

RECT TTreeView::NodeRect(HTREEITEM node) const {
    RECT r{};
    TreeView_GetItemRect(Handle(), node, &r, TRUE);
    return r;
}

void TTreeView::SetIndent(int indent) {
    FIndent = indent;
    TreeView_SetIndent(Handle(), Scale(indent));
}

void TTreeView::DpiChanged(int) {
    if (FIndent) TreeView_SetIndent(Handle(), Scale(FIndent));
}

void TTreeView::BeginUpdate() {
    SendMessageA(Handle(), WM_SETREDRAW, FALSE, 0);
}

void TTreeView::EndUpdate() {
    SendMessageA(Handle(), WM_SETREDRAW, TRUE, 0);
    InvalidateRect(Handle(), nullptr, TRUE);
}

LRESULT TTreeView::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == RunLaterMessage) {
        RunLater();
        return 0;
    }
    if (msg == WM_KEYDOWN && OnKeyDown) OnKeyDown(this, static_cast<WORD>(wParam));
    if (msg == WM_RBUTTONDOWN && RightClickSelect) {
        // Select first, so the mouse-down handler and the pop-up menu both see
        // the node that was right-clicked.
        if (HTREEITEM node = GetRowAt(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam))) Select(node);
        SetFocus();
        if (OnMouseDown)
            OnMouseDown(this, TMouseButton::mbRight, static_cast<UINT>(wParam),
                        GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return DefaultHandler(msg, wParam, lParam);
    }
    return TControl::WndProc(msg, wParam, lParam);
}

LRESULT TTreeView::Notify(NMHDR* header, bool& handled) {
    if (header->code == TVN_ITEMEXPANDINGA || header->code == TVN_ITEMEXPANDINGW) {
        InsertLines(reinterpret_cast<NMTREEVIEWA*>(header)->itemNew.hItem);
        return 0;
    }
    if ((header->code == TVN_DELETEITEMA || header->code == TVN_DELETEITEMW) &&
        !FPendingLines.empty()) {
        FPendingLines.erase(reinterpret_cast<NMTREEVIEWA*>(header)->itemOld.hItem);
        return 0;
    }
    if (header->code == NM_RCLICK && PopupMenu) {
        DWORD pos = GetMessagePos();
        // The control's own right-click handling can put the old selection
        // back: the node under the mouse is selected again, and the
        // mouse-down handler told, before the menu opens.
        if (RightClickSelect) {
            POINT p{GET_X_LPARAM(pos), GET_Y_LPARAM(pos)};
            ScreenToClient(Handle(), &p);
            if (HTREEITEM node = GetRowAt(p.x, p.y)) {
                Select(node);
                if (OnMouseDown) OnMouseDown(this, TMouseButton::mbRight, MK_RBUTTON, p.x, p.y);
            }
        }
        // Handled here, so the control sends no WM_CONTEXTMENU of its own.
        SendMessageA(Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(Handle()),
                     MAKELPARAM(GET_X_LPARAM(pos), GET_Y_LPARAM(pos)));
        handled = true;
        return 1;
    }
    return 0;
}

// ---------------------------------------------------------------- list view

TListView::TListView(TComponent* owner, TControl* parent, const TControlArgs& args,
                     const std::vector<TListColumn>& columns)
    : TControl(owner, parent) {
    CreateWnd(WC_LISTVIEWA, LVS_REPORT | LVS_SINGLESEL, WS_EX_CLIENTEDGE, args);
    ListView_SetExtendedListViewStyle(Handle(), LVS_EX_FULLROWSELECT);
    for (size_t i = 0; i < columns.size(); ++i) {
        LVCOLUMNA col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        std::string text = columns[i].Caption;
        col.pszText = text.data();
        col.cx = Scale(columns[i].Width);
        col.iSubItem = static_cast<int>(i);
        SendMessageA(Handle(), LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&col));
    }
}

void TListView::DpiChanged(int oldDpi) {
    for (int i = 0; i < ColumnCount(); ++i)
        ListView_SetColumnWidth(Handle(), i, RescaleDpi(ColumnWidth(i), oldDpi, Dpi()));
}

int TListView::AddItem(const std::string& caption, const std::vector<std::string>& subItems) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = Count();
    std::string text = caption;
    item.pszText = text.data();
    int index = static_cast<int>(
        SendMessageA(Handle(), LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    for (size_t i = 0; i < subItems.size(); ++i)
        SetItemText(index, static_cast<int>(i + 1), subItems[i]);
    return index;
}

void TListView::Clear() {
    ListView_DeleteAllItems(Handle());
}

int TListView::Count() const {
    return ListView_GetItemCount(Handle());
}

std::string TListView::ItemText(int item, int column) const {
    char buf[1024] = {};
    LVITEMA lv{};
    lv.iSubItem = column;
    lv.pszText = buf;
    lv.cchTextMax = sizeof(buf);
    SendMessageA(Handle(), LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(&lv));
    return buf;
}

void TListView::SetItemText(int item, int column, const std::string& text) {
    LVITEMA lv{};
    lv.iSubItem = column;
    std::string copy = text;
    lv.pszText = copy.data();
    SendMessageA(Handle(), LVM_SETITEMTEXTA, item, reinterpret_cast<LPARAM>(&lv));
}

int TListView::ColumnCount() const {
    return Header_GetItemCount(ListView_GetHeader(Handle()));
}

int TListView::ColumnWidth(int column) const {
    return ListView_GetColumnWidth(Handle(), column);
}

void TListView::SetColumnWidth(int column, int width) {
    ListView_SetColumnWidth(Handle(), column, Scale(width));
}

int TListView::SelectedIndex() const {
    return static_cast<int>(
        SendMessageA(Handle(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void TListView::ScrollToTop() {
    if (Count() > 0) ListView_EnsureVisible(Handle(), 0, FALSE);
}

void TListView::SelectIndex(int item) {
    ListView_SetItemState(Handle(), -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (item >= 0 && item < Count())
        ListView_SetItemState(Handle(), item, LVIS_SELECTED | LVIS_FOCUSED,
                              LVIS_SELECTED | LVIS_FOCUSED);
}

int TListView::TopIndex() const {
    return ListView_GetTopIndex(Handle());
}

void TListView::SetTopIndex(int item) {
    if (Count() == 0) return;
    item = std::clamp(item, 0, Count() - 1);
    RECT top{}, wanted{};
    // Report view scrolls by pixels, rounded to whole rows.
    if (ListView_GetItemRect(Handle(), TopIndex(), &top, LVIR_BOUNDS) &&
        ListView_GetItemRect(Handle(), item, &wanted, LVIR_BOUNDS))
        ListView_Scroll(Handle(), 0, wanted.top - top.top);
}

void TListView::BeginUpdate() {
    SendMessageA(Handle(), WM_SETREDRAW, FALSE, 0);
}

void TListView::EndUpdate() {
    SendMessageA(Handle(), WM_SETREDRAW, TRUE, 0);
    InvalidateRect(Handle(), nullptr, TRUE);
}
