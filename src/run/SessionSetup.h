#pragma once
// What the start-up finds before the wizard can work: whether this Windows
// is one the products run on, where the application data lives, and the
// folders below it. The window asks the user where the data lies as a last
// resort; a run without a window has nobody to ask.
#include <functional>
#include <string>

#include "run/Session.h"

// The Windows versions the products are made for (WinSystem's names).
bool AcceptedWindows(const std::wstring& versionName);
// Where the application data usually lies on that version.
std::wstring DefaultAppDataRoot(const std::wstring& versionName);

// Sets session.appDataRoot: the common application-data folder, else the
// one stored as "Common AppData", else defaultRoot, else what askForRoot
// answers (nullptr: nobody to ask), in this order, each only when it holds
// a "Talvero" folder. True (and the folder stored) when one does.
bool LocateAppData(Session& session, const std::wstring& defaultRoot,
                   const std::function<std::wstring()>& askForRoot);

// The product and work folders below session.appDataRoot, the temporary
// data folder made where missing (UpdateError when it cannot be).
void DeriveFolders(Session& session);
