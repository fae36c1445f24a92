// The registry functions, conformance style: the result, the out parameters,
// and a last error the registry functions leave alone.
#include "registry_fixture.h"

#include <cstdio>

namespace {

constexpr const char* kShared = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr const char* kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brevanto";

class Registry : public RegistryTest {
  protected:
    HKEY Create(const char* path, REGSAM access = KEY_ALL_ACCESS, HKEY root = HKEY_LOCAL_MACHINE) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, access, nullptr, &key, nullptr), ERROR_SUCCESS) << path;
        return key;
    }
    void SetDword(HKEY key, const char* name, DWORD v) {
        EXPECT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4), ERROR_SUCCESS);
    }
    LONG Open(const char* path, REGSAM access, HKEY& key) {
        key = reinterpret_cast<HKEY>(0x1234);
        return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key);
    }
};

TEST_F(Registry, CreateReportsNewThenExistingAndOpenIgnoresCase) {
    HKEY a = nullptr, b = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstall, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &a, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstall, 0, nullptr, 0, KEY_READ, nullptr, &b, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    EXPECT_NE(a, b);
    HKEY c = nullptr;
    EXPECT_EQ(Open("software\\MICROSOFT\\windows\\currentversion\\uninstall\\brevanto", KEY_READ, c), ERROR_SUCCESS);
    for (HKEY k : {a, b, c}) EXPECT_EQ(RegCloseKey(k), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(a), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(Registry, OpenFailures) {
    HKEY key;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(Open(kShared, KEY_ALL_ACCESS, key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(Open("\\SOFTWARE", KEY_READ, key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(Open(std::string(256, 'k').c_str(), KEY_READ, key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(0x4321), "x", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "x", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);  // the registry reports by result only
}

TEST_F(Registry, QueryBufferEdges) {
    HKEY key = Create(kUninstall);
    const char text[] = "Brevanto";  // 9 bytes with its zero
    ASSERT_EQ(RegSetValueExA(key, "DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
              ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "displayname", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 9u);
    char buffer[16];
    memset(buffer, 'x', sizeof buffer);
    size = 8;
    EXPECT_EQ(RegQueryValueExA(key, "DisplayName", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 9u);
    EXPECT_EQ(RegQueryValueExA(key, "DisplayName", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "Brevanto");
    EXPECT_EQ(buffer[9], 'x');
    EXPECT_EQ(RegQueryValueExA(key, "DisplayName", nullptr, &type, reinterpret_cast<BYTE*>(buffer), nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    // The default value has no name; NULL and "" both name it.
    ASSERT_EQ(RegSetValueExA(key, nullptr, 0, REG_BINARY, reinterpret_cast<const BYTE*>("\0\1\2"), 3), ERROR_SUCCESS);
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 3u);
    RegCloseKey(key);
}

TEST_F(Registry, ValueNamesMayHoldBackslashesAndAreReplacedNotDoubled) {
    HKEY key = Create(kShared);
    SetDword(key, "C:\\Tools\\Lib\\brevanto.dll", 1);
    SetDword(key, "c:\\tools\\lib\\BREVANTO.DLL", 2);
    char name[64];
    DWORD nameSize = sizeof name, type = 0, v = 0, size = 4;
    ASSERT_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(&v), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "C:\\Tools\\Lib\\brevanto.dll");
    EXPECT_EQ(nameSize, strlen(name));
    EXPECT_EQ(v, 2u);
    nameSize = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegDeleteValueA(key, "C:\\TOOLS\\LIB\\brevanto.dll"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "C:\\Tools\\Lib\\brevanto.dll"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(Registry, AccessRightsOfTheHandleAreChecked) {
    RegCloseKey(Create(kUninstall));
    HKEY key;
    ASSERT_EQ(Open(kUninstall, KEY_READ, key), ERROR_SUCCESS);
    DWORD one = 1;
    EXPECT_EQ(RegSetValueExA(key, "x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(key, "x"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(key, ""), ERROR_ACCESS_DENIED);  // no DELETE right
    HKEY sub = nullptr;
    EXPECT_EQ(RegCreateKeyExA(key, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    ASSERT_EQ(Open(kUninstall, KEY_SET_VALUE, key), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_SUCCESS);
    DWORD size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "x", nullptr, nullptr, reinterpret_cast<BYTE*>(&one), &size), ERROR_ACCESS_DENIED);
    char name[8];
    DWORD nameSize = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    ASSERT_EQ(Open(kUninstall, KEY_WRITE | DELETE, key), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(key, ""), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "x"), ERROR_KEY_DELETED);
    RegCloseKey(key);
}

TEST_F(Registry, DeletionRules) {
    RegCloseKey(Create(kUninstall));
    const char* parent = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    struct Case {
        HKEY root;
        const char* path;
        LONG expected;
    } cases[] = {
        {HKEY_LOCAL_MACHINE, parent, ERROR_ACCESS_DENIED},  // it has a subkey: it stays
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Nowhere", ERROR_FILE_NOT_FOUND},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Nowhere\\Deeper", ERROR_FILE_NOT_FOUND},
        {HKEY_LOCAL_MACHINE, "", ERROR_ACCESS_DENIED},  // a root key cannot go
        {HKEY_LOCAL_MACHINE, nullptr, ERROR_INVALID_PARAMETER},
        {reinterpret_cast<HKEY>(0x4321), "x", ERROR_INVALID_HANDLE},
        {HKEY_LOCAL_MACHINE, "software\\microsoft\\windows\\currentversion\\uninstall\\BREVANTO", ERROR_SUCCESS},
        {HKEY_LOCAL_MACHINE, kUninstall, ERROR_FILE_NOT_FOUND},
        {HKEY_LOCAL_MACHINE, parent, ERROR_SUCCESS},  // empty now
    };
    for (const Case& c : cases) EXPECT_EQ(RegDeleteKeyA(c.root, c.path), c.expected) << (c.path ? c.path : "NULL");
    HKEY key;
    EXPECT_EQ(Open("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", KEY_READ, key), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(Registry, AHandleToADeletedKeyReportsIt) {
    HKEY key = Create(kUninstall);
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstall), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "x", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    HKEY sub = nullptr;
    EXPECT_EQ(RegCreateKeyExA(key, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(Registry, SubkeysEnumerateInNameOrderAndBufferEdges) {
    HKEY key = Create("SOFTWARE\\Order");
    for (const char* n : {"beta", "Alpha", "gamma"}) {
        HKEY sub = nullptr;
        ASSERT_EQ(RegCreateKeyExA(key, n, 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr), ERROR_SUCCESS);
        RegCloseKey(sub);
    }
    std::string seen;
    for (DWORD i = 0;; ++i) {
        char name[8];
        DWORD size = sizeof name;
        LONG err = RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (err == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(err, ERROR_SUCCESS);
        seen += std::string(name) + ",";
    }
    EXPECT_EQ(seen, "Alpha,beta,gamma,");
    char name[8];
    DWORD size = 5;  // "Alpha" needs 6 with its zero
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    size = 6;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(size, 5u);
    RegCloseKey(key);
}

TEST_F(Registry, VolatileKeysAreNotBuilt) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Volatile", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_CALL_NOT_IMPLEMENTED);
}

TEST_F(Registry, ADamagedFileIsReportedNotRepaired) {
    RegCloseKey(Create(kShared));
    std::ofstream(File(), std::ios::trunc) << "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=dw";
    HKEY key;
    EXPECT_EQ(Open("A", KEY_READ, key), ERROR_BADDB);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_BADDB);
    EXPECT_NE(FileText().find("\"x\"=dw"), std::string::npos);  // left for the user to see
}

TEST_F(Registry, TheRegToolSeesAndChangesTheSameRegistry) {
    HKEY key = Create(kShared);
    SetDword(key, "C:\\Program Files\\Brevanto\\brevanto.dll", 1);
    RegCloseKey(key);
    auto run = [](const std::string& args, int& status) {
        std::string out;
        FILE* p = popen((std::string(REG_TOOL) + " " + args + " 2>&1").c_str(), "r");
        char buffer[512];
        while (p && fgets(buffer, sizeof buffer, p)) out += buffer;
        status = p ? pclose(p) : -1;
        return out;
    };
    int status = 0;
    EXPECT_EQ(run(std::string("query \"HKLM\\") + kShared + "\"", status),
              std::string("\nHKEY_LOCAL_MACHINE\\") + kShared +
                  "\n    C:\\Program Files\\Brevanto\\brevanto.dll    REG_DWORD    0x1\n\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(run(std::string("add \"HKLM\\") + kUninstall + "\" /v DisplayName /d \"Brevanto\" /f", status),
              "The operation completed successfully.\n");
    char text[16];
    DWORD size = sizeof text;
    ASSERT_EQ(Open(kUninstall, KEY_READ, key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(key, "DisplayName", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(text, "Brevanto");
    RegCloseKey(key);
    EXPECT_EQ(run("query \"HKLM\\SOFTWARE\\Nowhere\"", status),
              "ERROR: The system was unable to find the specified registry key or value.\n");
    EXPECT_NE(status, 0);
    run("delete \"HKLM\\SOFTWARE\\Microsoft\" /f", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Open("SOFTWARE\\Microsoft", KEY_READ, key), ERROR_FILE_NOT_FOUND);
}

}  // namespace
