#pragma once
// A real main window for in-process tests: own registry keys and folders,
// created without the start-up checks unless a test runs them itself.
#include <gtest/gtest.h>

#include <memory>

#include "TestSupport.h"
#include "run/Variable.h"
#include "ui/main.h"

namespace testsupport {

class WindowFixture : public ::testing::Test {
protected:
    RegTreeGuard talveroUser_{HKEY_CURRENT_USER, L"SOFTWARE\\Talvero"};
    TempFolder root_;
    std::unique_ptr<TfrmMain> form_;

    // Sets up the shared values as a successful start would, then creates
    // and shows the window.
    void OpenWindow() {
        Session s;
        s.registryRoot = HKEY_CURRENT_USER;
        s.appDataRoot = root_.path();
        CreateDirectoryW((s.appDataRoot + L"Talvero").c_str(), nullptr);
        s.dataTempFolder = s.appDataRoot + L"talvero\\temp\\";
        s.proFolder = s.appDataRoot + L"talvero\\Miradopro19\\";
        s.stdFolder = s.appDataRoot + L"talvero\\Mirados2019\\";
        s.workFolder = s.dataTempFolder;
        // A transfer that breaks is tried again after a moment here, not
        // after the product's 1 s and 5 s.
        s.limits.retryPausesMs[0] = s.limits.retryPausesMs[1] = 50;
        form_ = std::make_unique<TfrmMain>();
        form_->session() = s;
        form_->SetStep(static_cast<WizardStep>(-1));
        ASSERT_TRUE(form_->Create(GetModuleHandleW(nullptr), false));
        form_->Show();
        ProcessMessages();
    }

    void TearDown() override {
        form_.reset();
        ProcessMessages();
        DrainQuit();
    }

    // A destroyed main window leaves WM_QUIT for the program's loop; in a test
    // it would end the next message box at once.
    static void DrainQuit() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }

    TfrmMain& form() { return *form_; }
    Session& session() { return form_->session(); }

    void Press() {
        SendMessageW(form().Control(ControlId::cmdnex), BM_CLICK, 0, 0);
        ProcessMessages();
    }

    void SetEdit(HWND edit, const std::wstring& text) { SetWindowTextW(edit, text.c_str()); }

    std::wstring Text(HWND h) {
        wchar_t buf[1024];
        const int n = GetWindowTextW(h, buf, 1024);
        return std::wstring(buf, n > 0 ? n : 0);
    }

    // Client rectangle of a control relative to Panel1.
    RECT Place(HWND control) {
        RECT rc;
        GetWindowRect(control, &rc);
        MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rc), 2);
        return rc;
    }

    void FillAll(const std::wstring& text = L"x") {
        for (HWND e : {form().Control(ControlId::txtFir), form().Control(ControlId::txtOrt), form().Control(ControlId::txtSac), form().Control(ControlId::txtPC), form().Control(ControlId::txtTel), form().Control(ControlId::txtMail)})
            SetEdit(e, text);
    }

    // Clicks the check box of a check list item as a user would.
    void ClickCheck(HWND list, int index) {
        RECT rc;
        SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rc));
        const LPARAM at = MAKELPARAM(rc.left + 5, (rc.top + rc.bottom) / 2);
        SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(list, WM_LBUTTONUP, 0, at);
        ProcessMessages();
    }
};

}  // namespace testsupport
