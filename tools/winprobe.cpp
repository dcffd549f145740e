// winprobe: looks at a running program's windows from outside, for the run
// command and the end-to-end tests. Windows are found by their caption.
//
//   winprobe wait TITLE [ms]      waits until a visible window TITLE exists
//   winprobe counts TITLE         prints "tree N list M" for its tree and list
//   winprobe listtop TITLE        prints the index of the list's top row
//   winprobe listscroll TITLE DY  scrolls the list by DY pixels
//   winprobe close TITLE          posts WM_CLOSE to it
//   winprobe text TITLE           prints the texts of its child windows
//   winprobe click TITLE TEXT     presses its button captioned TEXT
//   winprobe treeitem TITLE N     prints the screen point "X Y" on the text of
//                                 the tree's N-th visible row (0-based)
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

BOOL CALLBACK PrintText(HWND child, LPARAM) {
    char text[512] = {};
    GetWindowTextA(child, text, sizeof(text));
    if (text[0]) std::printf("%s\n", text);
    return TRUE;
}

HWND FindChild(HWND parent, const char* className) {
    Search search{className, false, nullptr};
    EnumChildWindows(parent, Match, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: winprobe wait|counts|listtop|listscroll|close|text TITLE ...\n");
        return 2;
    }
    std::string verb = argv[1];
    const char* title = argv[2];
    if (verb == "wait") {
        DWORD limit = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 20000;
        DWORD start = GetTickCount();
        while (!FindVisible(title)) {
            if (GetTickCount() - start > limit) return 1;
            Sleep(50);
        }
        return 0;
    }
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
        std::printf("%ld\n", static_cast<long>(
                                 SendMessageA(FindChild(wnd, WC_LISTVIEWA), LVM_GETTOPINDEX, 0, 0)));
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
    } else if (verb == "click" && argc > 3) {
        Search search{argv[3], true, nullptr};
        EnumChildWindows(wnd, Match, reinterpret_cast<LPARAM>(&search));
        if (!search.Found) return 1;
        PostMessageA(search.Found, BM_CLICK, 0, 0);
    } else if (verb == "close") {
        PostMessageA(wnd, WM_CLOSE, 0, 0);
    } else if (verb == "text") {
        EnumChildWindows(wnd, PrintText, 0);
    } else {
        return 2;
    }
    return 0;
}
