// winprobe: looks at a running program's windows from outside, for the run
// command and the end-to-end tests. Windows are found by their caption.
//
//   winprobe wait TITLE [ms]      waits until a visible window TITLE exists
//   winprobe gone TITLE [ms]      waits until no visible window TITLE exists
//   winprobe foreground TITLE [ms] waits until TITLE is the foreground window
//   winprobe menu any [ms]        waits until a pop-up menu is shown
//   winprobe nomenu any [ms]      waits until no pop-up menu is shown
//   winprobe class CLASS [ms]     waits until a visible top-level window of
//                                 window class CLASS exists (a balloon)
//   winprobe selected TITLE       prints the visible row (0-based) of the
//                                 tree's selected item, -1 when none is shown
//   winprobe counts TITLE         prints "tree N list M" for its tree and list
//   winprobe listtop TITLE        prints the index of the list's top row
//   winprobe listscroll TITLE DY  scrolls the list by DY pixels
//   winprobe close TITLE          posts WM_CLOSE to it
//   winprobe answers TITLE MS     exit code 0 when it answers a message within
//                                 MS, as the system's hung-window check asks
//   winprobe text TITLE           prints the texts of its child windows
//   winprobe click TITLE TEXT     presses its button captioned TEXT
//   winprobe treeitem TITLE N     prints the screen point "X Y" on the text of
//                                 the tree's N-th visible row (0-based)
//   winprobe point TITLE TEXT     prints the screen point "X Y" at the centre
//                                 of its child window captioned TEXT
//   winprobe focus TITLE          prints "CLASS|TEXT" of the control that
//                                 has the keyboard focus in its thread
//   winprobe accname TITLE CLASS  prints the name assistive technology reads
//                                 for its first child of window class CLASS
//   winprobe rows TITLE           prints each row of its list as "TYPE|VALUE"
//   winprobe bold TITLE           prints the text of each top-level tree node
//                                 drawn bold, one a line
//   winprobe status TITLE         prints its status bar's text
//   winprobe waitbold TITLE NAME MS finds the top-level tree node NAME, prints
//                                 "ready", then waits until it is drawn bold
//   winprobe size TITLE           prints "W H CW CH": its outer and client size
//   winprobe fits TITLE DPI       prints its size as "size" does, then
//                                 "TEXT|NEEDED|WIDTH" for each label, button
//                                 and check box: the width its text needs in
//                                 the dialog font at DPI, and the control's
//                                 width; exit code 1 when one is narrower
//                                 than its text
//   winprobe menuheight any       prints the height of the pop-up menu shown
//   winprobe part TITLE N K       prints the screen point "X Y" at the centre
//                                 of the K-th part (0-3) of its N-th address
//                                 control (0-based, in creation order)
//   winprobe desktop any          makes Wine start its desktop process
//                                 (explorer.exe) unless it runs already
//   winprobe serve                answers requests from stdin, one a line:
//                                 "ID<TAB>VERB<TAB>ARG...", in UTF-8; prints
//                                 what the verb prints, then "\x1fID CODE"
//                                 with the exit code it would have ended with
//                                 (one process for a whole test, instead of
//                                 one Wine start per look)
#include "toolkit/Accessibility.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

HWND FindVisible(const char* title) {
    HWND wnd = FindWindowA(nullptr, title);
    return wnd && IsWindowVisible(wnd) ? wnd : nullptr;
}

struct Search {
    const char* Wanted; // a class name, or a window text
    bool ByText;
    HWND Found;
};

BOOL CALLBACK Match(HWND wnd, LPARAM data) {
    auto* s = reinterpret_cast<Search*>(data);
    char name[256] = {};
    if (s->ByText)
        GetWindowTextA(wnd, name, sizeof(name));
    else
        GetClassNameA(wnd, name, sizeof(name));
    if (std::strcmp(name, s->Wanted) == 0) {
        s->Found = wnd;
        return FALSE;
    }
    return TRUE;
}

// Printed as UTF-8, whatever the code pages of the probe and the window.
BOOL CALLBACK PrintText(HWND child, LPARAM) {
    // A message box's text can be long (netsh's own lines): read it whole.
    std::wstring text(GetWindowTextLengthW(child) + 1, L'\0');
    text.resize(GetWindowTextW(child, text.data(), static_cast<int>(text.size())));
    if (text.empty()) return TRUE;
    std::string utf8(text.size() * 3, '\0');
    utf8.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr));
    std::printf("%s\n", utf8.c_str());
    return TRUE;
}

BOOL CALLBACK CollectAddressControl(HWND child, LPARAM data) {
    char cls[64] = {};
    GetClassNameA(child, cls, sizeof(cls));
    if (std::strcmp(cls, "TqvIPEdit") == 0)
        reinterpret_cast<std::vector<HWND>*>(data)->push_back(child);
    return TRUE;
}

// The process that owns `wnd`, opened to read and write its memory; null
// when there is none.
HANDLE OpenOwner(HWND wnd) {
    DWORD pid = 0;
    if (!wnd || !GetWindowThreadProcessId(wnd, &pid)) return nullptr;
    return OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
}

// The text of a list cell or tree node in another process: the item and its
// text buffer live in that process's memory, as the control reads them there.
// `item` comes with its mask and row set; `message` fills its text.
template <typename TItem>
std::string RemoteItemText(HWND control, HANDLE process, UINT message, WPARAM wParam, TItem item) {
    struct Remote {
        TItem Item;
        char Text[512];
    };
    auto* remote = static_cast<Remote*>(
        VirtualAllocEx(process, nullptr, sizeof(Remote), MEM_COMMIT, PAGE_READWRITE));
    if (!remote) return "";
    Remote local{item, {}};
    local.Item.pszText = remote->Text;
    local.Item.cchTextMax = sizeof(local.Text);
    WriteProcessMemory(process, remote, &local, sizeof(local), nullptr);
    SendMessageA(control, message, wParam, reinterpret_cast<LPARAM>(&remote->Item));
    ReadProcessMemory(process, remote, &local, sizeof(local), nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    local.Text[sizeof(local.Text) - 1] = 0;
    return local.Text;
}

std::string CellText(HWND list, HANDLE process, int row, int column) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iSubItem = column;
    return RemoteItemText(list, process, LVM_GETITEMTEXTA, row, item);
}

std::string NodeText(HWND tree, HANDLE process, HTREEITEM node) {
    TVITEMA item{};
    item.mask = TVIF_TEXT;
    item.hItem = node;
    return RemoteItemText(tree, process, TVM_GETITEMA, 0, item);
}

HWND FindChild(HWND parent, const char* wanted, bool byText = false) {
    Search search{wanted, byText, nullptr};
    EnumChildWindows(parent, Match, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

struct FitCheck {
    HFONT Font;
    int Dpi;
    bool AllFit = true;
};

// Each label, button and check box against the width its caption takes in
// the dialog font ("MS Sans Serif" 8 points at 96 DPI, scaled to the DPI and
// rounded up so that no half pixel is lost).
BOOL CALLBACK CheckFit(HWND child, LPARAM data) {
    auto* check = reinterpret_cast<FitCheck*>(data);
    char cls[64] = {}, text[512] = {};
    GetClassNameA(child, cls, sizeof(cls));
    GetWindowTextA(child, text, sizeof(text));
    if (!text[0] || !IsWindowVisible(child)) return TRUE;
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    int margin = 0;
    if (lstrcmpiA(cls, "Static") == 0) {
        if ((style & SS_TYPEMASK) > SS_RIGHT) return TRUE; // pictures, frames
    } else if (lstrcmpiA(cls, "Button") == 0) {
        const LONG kind = style & BS_TYPEMASK;
        if (kind == BS_GROUPBOX) return TRUE;
        // A check box's text sits right of its box; a push button's inside
        // its frame.
        margin = kind == BS_AUTOCHECKBOX || kind == BS_CHECKBOX ? MulDiv(16, check->Dpi, 96)
                                                                : MulDiv(4, check->Dpi, 96);
    } else {
        return TRUE;
    }
    HDC dc = GetDC(child);
    HGDIOBJ old = SelectObject(dc, check->Font);
    RECT r{0, 0, 0, 0};
    DrawTextA(dc, text, -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(child, dc);
    RECT box;
    GetClientRect(child, &box);
    const int needed = r.right + margin;
    std::printf("%s|%d|%ld\n", text, needed, box.right);
    if (box.right < needed) check->AllFit = false;
    return TRUE;
}

// Polls `done` every 20 ms until it holds or `limit` ms have passed.
template <typename Done> bool WaitUntil(DWORD limit, Done done) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > limit) return false;
        Sleep(20);
    }
    return true;
}

} // namespace

static int Probe(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: winprobe VERB TITLE ... (verbs at the top of winprobe.cpp)\n");
        return 2;
    }
    std::string verb = argv[1];
    const char* title = argv[2];
    const DWORD limit = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 20000;
    if (verb == "desktop") return GetDesktopWindow() ? 0 : 1;
    if (verb == "wait")
        return WaitUntil(limit, [&] { return FindVisible(title) != nullptr; }) ? 0 : 1;
    if (verb == "gone")
        return WaitUntil(limit, [&] { return FindVisible(title) == nullptr; }) ? 0 : 1;
    auto menuShown = [] {
        HWND menu = FindWindowA("#32768", nullptr);
        return menu && IsWindowVisible(menu);
    };
    if (verb == "menu") return WaitUntil(limit, menuShown) ? 0 : 1;
    auto classShown = [&] {
        for (HWND w = FindWindowExA(nullptr, nullptr, title, nullptr); w;
             w = FindWindowExA(nullptr, w, title, nullptr))
            if (IsWindowVisible(w)) return true;
        return false;
    };
    if (verb == "class") return WaitUntil(limit, classShown) ? 0 : 1;
    if (verb == "menuheight") {
        // The menu's items live in the program's process under Wine: the
        // height of its window stands for them (borders aside).
        HWND menu = FindWindowA("#32768", nullptr);
        if (!menu || !IsWindowVisible(menu)) return 1;
        RECT r;
        GetWindowRect(menu, &r);
        std::printf("%ld\n", r.bottom - r.top);
        return 0;
    }
    if (verb == "nomenu") return WaitUntil(limit, [&] { return !menuShown(); }) ? 0 : 1;
    if (verb == "foreground")
        return WaitUntil(limit,
                         [&] {
                             HWND wnd = FindVisible(title);
                             return wnd && GetForegroundWindow() == wnd;
                         })
                   ? 0
                   : 1;
    HWND wnd = FindVisible(title);
    if (!wnd) {
        std::fprintf(stderr, "no window \"%s\"\n", title);
        return 1;
    }
    if (verb == "counts") {
        HWND tree = FindChild(wnd, WC_TREEVIEWA), list = FindChild(wnd, WC_LISTVIEWA);
        std::printf("tree %ld list %ld\n",
                    tree ? static_cast<long>(SendMessageA(tree, TVM_GETCOUNT, 0, 0)) : -1L,
                    list ? static_cast<long>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)) : -1L);
    } else if (verb == "listtop") {
        std::printf("%ld\n", static_cast<long>(SendMessageA(FindChild(wnd, WC_LISTVIEWA),
                                                            LVM_GETTOPINDEX, 0, 0)));
    } else if (verb == "listscroll" && argc > 3) {
        SendMessageA(FindChild(wnd, WC_LISTVIEWA), LVM_SCROLL, 0, std::atoi(argv[3]));
    } else if (verb == "treeitem" && argc > 3) {
        HWND tree = FindChild(wnd, WC_TREEVIEWA);
        RECT r;
        GetWindowRect(tree, &r);
        int height = static_cast<int>(SendMessageA(tree, TVM_GETITEMHEIGHT, 0, 0));
        int indent = static_cast<int>(SendMessageA(tree, TVM_GETINDENT, 0, 0));
        int row = std::atoi(argv[3]);
        std::printf("%ld %ld\n", r.left + 2 + indent + 12, r.top + 2 + height * row + height / 2);
    } else if (verb == "selected") {
        HWND tree = FindChild(wnd, WC_TREEVIEWA);
        auto selected = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0);
        int row = 0, found = -1;
        for (auto item = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_FIRSTVISIBLE, 0);
             selected && item && found < 0; ++row) {
            if (item == selected) found = row;
            item = SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXTVISIBLE, item);
        }
        std::printf("%d\n", found);
    } else if (verb == "click" && argc > 3) {
        HWND button = FindChild(wnd, argv[3], true);
        if (!button) return 1;
        PostMessageA(button, BM_CLICK, 0, 0);
    } else if (verb == "point" && argc > 3) {
        HWND child = FindChild(wnd, argv[3], true);
        if (!child) return 1;
        RECT r;
        GetWindowRect(child, &r);
        std::printf("%ld %ld\n", (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    } else if (verb == "focus") {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(wnd, nullptr), &info) || !info.hwndFocus)
            return 1;
        char cls[128] = {}, text[512] = {};
        GetClassNameA(info.hwndFocus, cls, sizeof(cls));
        // Asked of the control itself: an edit's text is not its window text
        // for another process.
        DWORD_PTR copied = 0;
        SendMessageTimeoutA(info.hwndFocus, WM_GETTEXT, sizeof(text),
                            reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &copied);
        std::printf("%s|%s\n", cls, text);
    } else if (verb == "part" && argc > 4) {
        int wanted = std::atoi(argv[3]);
        // Address controls in creation order, which is their z-order.
        struct Collect {
            std::vector<HWND> Found;
        } collect;
        EnumChildWindows(wnd, CollectAddressControl, reinterpret_cast<LPARAM>(&collect.Found));
        if (wanted < 0 || wanted >= static_cast<int>(collect.Found.size())) return 1;
        HWND control = collect.Found[static_cast<size_t>(wanted)];
        int k = std::atoi(argv[4]);
        HWND part = GetWindow(control, GW_CHILD);
        for (int i = 0; part && i < 2 * k; ++i)
            part = GetWindow(part, GW_HWNDNEXT);
        if (!part) return 1;
        RECT r;
        GetWindowRect(part, &r);
        std::printf("%ld %ld\n", (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    } else if (verb == "accname" && argc > 3) {
        HWND child = FindChild(wnd, argv[3]);
        if (!child) return 1;
        std::printf("%s\n", AccessibleNameOf(child).c_str());
    } else if (verb == "rows") {
        HWND list = FindChild(wnd, WC_LISTVIEWA);
        HANDLE process = OpenOwner(list);
        if (!list || !process) return 1;
        const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < count; ++row)
            std::printf("%s|%s\n", CellText(list, process, row, 0).c_str(),
                        CellText(list, process, row, 1).c_str());
        CloseHandle(process);
    } else if (verb == "bold") {
        HWND tree = FindChild(wnd, WC_TREEVIEWA);
        HANDLE process = OpenOwner(tree);
        if (!tree || !process) return 1;
        for (auto node = TreeView_GetRoot(tree); node; node = TreeView_GetNextSibling(tree, node))
            if (TreeView_GetItemState(tree, node, TVIS_BOLD) & TVIS_BOLD)
                std::printf("%s\n", NodeText(tree, process, node).c_str());
        CloseHandle(process);
    } else if (verb == "waitbold" && argc > 4) {
        HWND tree = FindChild(wnd, WC_TREEVIEWA);
        HANDLE process = OpenOwner(tree);
        if (!tree || !process) return 1;
        HTREEITEM found = nullptr;
        for (auto node = TreeView_GetRoot(tree); node && !found;
             node = TreeView_GetNextSibling(tree, node))
            if (NodeText(tree, process, node) == argv[3]) found = node;
        CloseHandle(process);
        if (!found) return 1;
        std::printf("ready\n");
        std::fflush(stdout);
        const DWORD wait = std::strtoul(argv[4], nullptr, 10);
        return WaitUntil(
                   wait,
                   [&] { return (TreeView_GetItemState(tree, found, TVIS_BOLD) & TVIS_BOLD) != 0; })
                   ? 0
                   : 1;
    } else if (verb == "status") {
        // The bar's text lives in its process: read into a buffer there.
        HWND bar = FindChild(wnd, STATUSCLASSNAMEA);
        HANDLE process = OpenOwner(bar);
        if (!bar || !process) return 1;
        char text[1024] = {};
        void* remote = VirtualAllocEx(process, nullptr, sizeof(text), MEM_COMMIT, PAGE_READWRITE);
        if (remote) {
            WriteProcessMemory(process, remote, text, sizeof(text), nullptr);
            SendMessageA(bar, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(remote));
            ReadProcessMemory(process, remote, text, sizeof(text), nullptr);
            VirtualFreeEx(process, remote, 0, MEM_RELEASE);
        }
        CloseHandle(process);
        text[sizeof(text) - 1] = 0;
        std::printf("%s\n", text);
    } else if (verb == "size" || verb == "fits") {
        RECT outer, client;
        GetWindowRect(wnd, &outer);
        GetClientRect(wnd, &client);
        std::printf("%ld %ld %ld %ld\n", outer.right - outer.left, outer.bottom - outer.top,
                    client.right, client.bottom);
        if (verb == "size") return 0;
        const int dpi = argc > 3 ? std::atoi(argv[3]) : 96;
        FitCheck check{CreateFontA(-((11 * dpi + 95) / 96), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                   DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                   DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif"),
                       dpi};
        EnumChildWindows(wnd, CheckFit, reinterpret_cast<LPARAM>(&check));
        DeleteObject(check.Font);
        return check.AllFit ? 0 : 1;
    } else if (verb == "close") {
        PostMessageA(wnd, WM_CLOSE, 0, 0);
    } else if (verb == "answers" && argc > 3) {
        DWORD_PTR result = 0;
        const UINT limit = static_cast<UINT>(std::strtoul(argv[3], nullptr, 10));
        return SendMessageTimeoutA(wnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, limit,
                                   &result)
                   ? 0
                   : 1;
    } else if (verb == "text") {
        EnumChildWindows(wnd, PrintText, 0);
    } else {
        return 2;
    }
    return 0;
}

namespace {

// A request's field, given in UTF-8, in the code page the verbs' A-functions
// take, as a command-line argument would arrive.
std::string FromUtf8(const std::string& text) {
    const int wide = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (wide <= 0) return text;
    std::wstring w(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, w.data(), wide);
    const int narrow = WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (narrow <= 0) return text;
    std::string out(static_cast<size_t>(narrow), '\0');
    WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, out.data(), narrow, nullptr, nullptr);
    out.resize(static_cast<size_t>(narrow) - 1);
    return out;
}

int Serve() {
    std::string line;
    for (int c = std::getchar(); c != EOF; c = std::getchar()) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> fields;
        for (size_t start = 0;;) {
            const size_t tab = line.find('\t', start);
            fields.push_back(FromUtf8(line.substr(start, tab - start)));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        line.clear();
        std::vector<char*> args{const_cast<char*>("winprobe")};
        for (size_t i = 1; i < fields.size(); ++i)
            args.push_back(fields[i].data());
        const int code = Probe(static_cast<int>(args.size()), args.data());
        std::printf("\x1f%s %d\n", fields[0].c_str(), code);
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Sizes and points in the screen's pixels, whatever the program declares.
    SetProcessDPIAware();
    if (argc == 2 && std::strcmp(argv[1], "serve") == 0) return Serve();
    return Probe(argc, argv);
}
