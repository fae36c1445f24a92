// A fresh drive C: and registry for each uninstaller test, the scripted USER32 reset.
#ifndef UNINSTALLER_FIXTURE_H
#define UNINSTALLER_FIXTURE_H

#include "drive_fixture.h"
#include "scripted_user32.h"
#include "uninstall.h"

#include <sys/stat.h>

class UninstallerTest : public DriveTest {
  protected:
    void SetUp() override {
        DriveTest::SetUp();
        scripted::CurrentScript() = {};
        scripted::Calls().clear();
        ModuleInstance = GetModuleHandleA(nullptr);
        Dialog = scripted::kDialog;
        scripted::Attach(UninstallDialogProc);
    }
    void SetValue(const char* key, const char* name, DWORD value) {
        HKEY k;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(k, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value), ERROR_SUCCESS);
        RegCloseKey(k);
    }
    void SetText(const char* key, const char* name, const char* text) {
        HKEY k;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), DWORD(strlen(text) + 1)), ERROR_SUCCESS);
        RegCloseKey(k);
    }
    bool HasValue(const char* key, const char* name) {
        HKEY k;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return false;
        LONG r = RegQueryValueExA(k, name, nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(k);
        return r == ERROR_SUCCESS;
    }
    bool HasKey(const char* key) {
        HKEY k;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return false;
        RegCloseKey(k);
        return true;
    }
    static std::vector<std::string> Steps(int n) {
        return std::vector<std::string>(n, "SendDlgItemMessageA(dialog, 1000, 1029, 0, 0)");
    }
};

#endif
