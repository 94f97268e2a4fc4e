#pragma once
// The wizard's list boxes. lstUpd is a check list: an owner-drawn list box
// (LBS_OWNERDRAWFIXED | LBS_HASSTRINGS) whose items keep their check mark in
// the item data.
#include <windows.h>

#include <string>

// The notification code of the WM_COMMAND a check list sends its parent
// after every click or space bar (apart from the list box's own LBN_ codes).
inline constexpr WORD kCheckListClicked = 0x7F01;

// Gives a list box its check boxes: the item height, and a click on the box,
// a double click or the space bar toggles the item; each click is reported
// to the parent as kCheckListClicked.
void MakeCheckList(HWND list);
// The owner's WM_DRAWITEM for a check list.
void DrawCheckItem(const DRAWITEMSTRUCT& di);

int CheckListAdd(HWND list, const std::wstring& text, bool checked);
bool CheckListChecked(HWND list, int index);
void CheckListSetChecked(HWND list, int index, bool checked);
int ListCount(HWND list);
std::wstring ListItemText(HWND list, int index);
void ListAdd(HWND list, const std::wstring& text);
void ListClear(HWND list);
