#pragma once
// The head of a signed update list: the section "[Liste]" it begins with,
// naming the list ("Name"), its place in the row of published lists
// ("Serie", rising with each) and its last valid day ("Ablauf", yyyymmdd).
// A build with a key accepts a list only with a head that fits: one for
// this program, not older than the newest this machine accepted, not
// expired. Older readers pass over the section, which offers nothing.
#include <windows.h>

#include <cstdint>
#include <string>

struct ListHead {
    std::wstring name;
    uint64_t serial = 0;
    unsigned expiry = 0;  // yyyymmdd
};

// The head of listBytes (the list as signed, code page 1252); false when
// the first section is not "[Liste]" or one of its keys is missing or
// malformed: "Serie" is 1 to 18 decimal digits, "Ablauf" a real day.
bool ParseListHead(const std::string& listBytes, ListHead* head);

enum class HeadCheck { Accepted, Malformed, OtherList, Older, Expired };

// Checks listBytes' head against this program's list name, today (local,
// yyyymmdd) and the highest "Serie" accepted below root; on Accepted that
// value is raised to the head's. An equal number is the same list fetched
// again.
HeadCheck CheckListHead(const std::string& listBytes, HKEY root, unsigned today);

// What the user is told of a head that does not fit; empty for Accepted.
std::wstring HeadRefusalText(HeadCheck check);

// Today as yyyymmdd (local time).
unsigned LocalToday();
