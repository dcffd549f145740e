#pragma once
// A list box of text items, one selected at a time.
#include "toolkit/Controls.h"

#include <string>
#include <vector>

class TListBox : public TControl {
public:
    TListBox(TComponent* owner, TControl* parent, const TControlArgs& args);
    void AddItem(const std::string& text);
    void DeleteItem(int index);
    void Clear();
    int Count() const;
    std::string Item(int index) const;
    std::vector<std::string> Items() const;
    // The selected item's index, -1 when none is selected.
    int ItemIndex() const;
    void SetItemIndex(int index);
    TNotifyEvent OnSelect; // the selection changed
    const char* ClassName() const override { return "TListBox"; }

protected:
    void CommandNotify(WORD code) override;
};
