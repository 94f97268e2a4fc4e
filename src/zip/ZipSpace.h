#pragma once
// The room check of Zip1: an archive whose files would not fit on the target
// drive is refused whole before anything is written, so a full drive does
// not leave a half-written installation.
#include <string>
#include <vector>

#include "zip/ZipReader.h"

namespace zipspace {

// Empty when the entries fit on the drive of base (a full path ending with a
// backslash; it need not exist yet) or when the system does not say how much
// is free; otherwise the German refusal for archive.
std::wstring NoRoomText(const std::vector<zipread::Entry>& entries, const std::wstring& base,
                        const std::wstring& archive);

}  // namespace zipspace
