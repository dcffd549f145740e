#include "toolkit/ListBox.h"

TListBox::TListBox(TComponent* owner, TControl* parent, const TControlArgs& args)
    : TControl(owner, parent) {
    CreateWnd("LISTBOX", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL, WS_EX_CLIENTEDGE, args);
}

void TListBox::AddItem(const std::string& text) {
    SendMessageA(Handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void TListBox::DeleteItem(int index) {
    SendMessageA(Handle(), LB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void TListBox::Clear() {
    SendMessageA(Handle(), LB_RESETCONTENT, 0, 0);
}

int TListBox::Count() const {
    return static_cast<int>(SendMessageA(Handle(), LB_GETCOUNT, 0, 0));
}

std::string TListBox::Item(int index) const {
    const LRESULT length = SendMessageA(Handle(), LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR) return "";
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const LRESULT got = SendMessageA(Handle(), LB_GETTEXT, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(text.data()));
    text.resize(got == LB_ERR ? 0 : static_cast<size_t>(got));
    return text;
}

std::vector<std::string> TListBox::Items() const {
    std::vector<std::string> items;
    for (int i = 0; i < Count(); ++i)
        items.push_back(Item(i));
    return items;
}

int TListBox::ItemIndex() const {
    const LRESULT index = SendMessageA(Handle(), LB_GETCURSEL, 0, 0);
    return index == LB_ERR ? -1 : static_cast<int>(index);
}

void TListBox::SetItemIndex(int index) {
    SendMessageA(Handle(), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    if (OnSelect) OnSelect(this);
}

void TListBox::CommandNotify(WORD code) {
    if (code == LBN_SELCHANGE && OnSelect) OnSelect(this);
}
