#pragma once
// Common controls: status bar, page control with tab sheets, splitter, tree
// view and report-style list view.
#include "toolkit/Controls.h"

#include <commctrl.h>

#include <unordered_map>

class TStatusBar : public TControl {
public:
    TStatusBar(TComponent* owner, TControl* parent, const TControlArgs& args);
    // One panel that spans the bar, as the last panel always does.
    void SetSimpleText(const std::string& text);
    std::string PanelText() const;
    const char* ClassName() const override { return "TStatusBar"; }
};

class TTabSheet;

class TPageControl : public TControl {
public:
    TPageControl(TComponent* owner, TControl* parent, const TControlArgs& args);
    int PageCount() const { return static_cast<int>(FPages.size()); }
    TTabSheet* Pages(int index) const { return FPages.at(static_cast<size_t>(index)); }
    TTabSheet* ActivePage() const;
    void SetActivePage(TTabSheet* page);
    RECT ClientRectForChildren() const override;
    const char* ClassName() const override { return "TPageControl"; }

protected:
    LRESULT Notify(NMHDR* header, bool& handled) override;

private:
    friend class TTabSheet;
    std::vector<TTabSheet*> FPages; // not owned
};

class TTabSheet : public TCustomControl {
public:
    TTabSheet(TComponent* owner, TPageControl* pageControl, const TControlArgs& args);
    ~TTabSheet() override;
    const char* ClassName() const override { return "TTabSheet"; }

private:
    TPageControl* FPageControl; // not owned: our parent
};

// Moves the border between the control it is docked against and the rest.
class TSplitter : public TCustomControl {
public:
    TSplitter(TComponent* owner, TControl* parent, const TControlArgs& args);
    int MinSize = 30; // at 96 DPI
    const char* ClassName() const override { return "TSplitter"; }

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    TControl* FindResizeControl() const;
    TControl* FResizing = nullptr; // not owned: a sibling
    int FDownY = 0, FDownX = 0, FStartSize = 0;
};

class TTreeView : public TControl {
public:
    TTreeView(TComponent* owner, TControl* parent, const TControlArgs& args);

    HTREEITEM AddChild(HTREEITEM parent, const std::string& text, LPARAM data = 0);
    // A node whose children (plain text lines with no data) are inserted when
    // it is first expanded or its children are first asked for: a tree of many
    // such nodes builds in a fraction of the time.
    HTREEITEM AddChildWithLines(HTREEITEM parent, const std::string& text, LPARAM data,
                                std::vector<std::string> lines);
    void Clear();
    int Count() const; // all nodes, those still to be inserted included
    // Runs `work` from the message loop once what is queued before it is
    // handled (asked before TForm::Show, which paints at once: after the
    // window's first paint).
    // Clear() and Later({}) drop it; RunLater() runs it at once. One at a time.
    void Later(std::function<void()> work);
    void RunLater();
    // The rows that fit in the control's height, the last partly shown one too.
    int VisibleRows() const;
    HTREEITEM Selected() const;
    void Select(HTREEITEM node);
    HTREEITEM NodeParent(HTREEITEM node) const;
    HTREEITEM FirstChild(HTREEITEM node) const; // TVI_ROOT for the top level
    HTREEITEM NextSibling(HTREEITEM node) const;
    std::string NodeText(HTREEITEM node) const;
    LPARAM NodeData(HTREEITEM node) const;
    bool Expanded(HTREEITEM node) const;
    void Expand(HTREEITEM node, bool expand);
    // A node drawn in the bold face of the tree's font.
    bool NodeBold(HTREEITEM node) const;
    void SetNodeBold(HTREEITEM node, bool bold);
    HTREEITEM GetNodeAt(int x, int y) const;
    // The node whose row holds the point, also right of its text: what a
    // right click picks.
    HTREEITEM GetRowAt(int x, int y) const;
    RECT NodeRect(HTREEITEM node) const; // the text area, client coordinates
    void SetIndent(int indent);          // at 96 DPI
    void BeginUpdate();
    void EndUpdate();
    // The node under the pointer is selected before a right click is handled.
    bool RightClickSelect = true;
    // A key pressed in the tree (WM_KEYDOWN), before the tree acts on it.
    std::function<void(TComponent* sender, WORD key)> OnKeyDown;
    const char* ClassName() const override { return "TTreeView"; }

protected:
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    LRESULT Notify(NMHDR* header, bool& handled) override;
    void DpiChanged(int oldDpi) override;

private:
    int FIndent = 0; // at 96 DPI; 0 for the control's own
    void InsertLines(HTREEITEM node) const;
    mutable std::unordered_map<HTREEITEM, std::vector<std::string>> FPendingLines;
    std::function<void()> FLater;
};

struct TListColumn {
    std::string Caption;
    int Width;
};

class TListView : public TControl {
public:
    TListView(TComponent* owner, TControl* parent, const TControlArgs& args,
              const std::vector<TListColumn>& columns);
    int AddItem(const std::string& caption, const std::vector<std::string>& subItems);
    void Clear();
    int Count() const;
    std::string ItemText(int item, int column) const; // column 0 is the caption
    void SetItemText(int item, int column, const std::string& text);
    int ColumnCount() const;
    int ColumnWidth(int column) const;          // in pixels
    void SetColumnWidth(int column, int width); // at 96 DPI
    void ScrollToTop();
    int SelectedIndex() const;  // the first selected row, -1 when none is
    void SelectIndex(int item); // -1: none
    int TopIndex() const;       // the first row shown
    // Scrolls so that `item` is the first row shown, as far as the list allows.
    void SetTopIndex(int item);
    void BeginUpdate();
    void EndUpdate();
    const char* ClassName() const override { return "TListView"; }

protected:
    void DpiChanged(int oldDpi) override;
};
