#pragma once
// The resource id of the update list's public key (PEM, RCDATA). Shared by
// the generated listkey.rc and EmbeddedListKey().
#define IDR_LIST_KEY 300
