// Program entry of the Talvero Liveupdate wizard.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "main.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // The folder browser in its new style needs OLE on this thread.
    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    int exitCode = 0;
    {
        TfrmMain form;
        if (form.Create(instance)) {
            form.Show();
            // A refusal during creation ends the program once the loop runs.
            if (form.TerminateRequested()) PostQuitMessage(0);
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                HWND main = form.Handle();
                if (!main || !IsDialogMessageW(main, &msg)) {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
            }
        } else {
            exitCode = 1;
        }
    }
    OleUninitialize();
    return exitCode;
}
