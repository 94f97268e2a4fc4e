#pragma once
// Resuming an HTTP fetch that broke off: the request for the rest of the
// file, and reading what the answer says it sends. Both fetches that resume
// use them: urlmon's (Transfers.cpp) and WinInet's (HttpTransfer.cpp).
#include <cstdint>
#include <string>

// The extra request headers that ask for the bytes from `from` on, but only
// of the file `validator` (its ETag, else its Last-Modified) names: If-Range
// makes a server whose file has changed send the whole new one instead.
// Empty when there is nothing to resume (from 0, or no validator).
std::wstring ResumeHeaders(uint64_t from, const std::wstring& validator);

// "bytes 4096-9999/10000": the first byte sent and the whole length.
bool ParseContentRange(const std::wstring& text, uint64_t* first, uint64_t* total);
