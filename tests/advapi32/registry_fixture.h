// A fresh per-user folder, and so a fresh registry, for each test.
#ifndef ADVAPI32_REGISTRY_FIXTURE_H
#define ADVAPI32_REGISTRY_FIXTURE_H

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/registry_tests.XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        root_ = name;
        const char* old = getenv("PLATFORM_USER_DIR");
        had_ = old != nullptr;
        if (old) old_ = old;
        setenv("PLATFORM_USER_DIR", root_.c_str(), 1);
    }
    void TearDown() override {
        if (had_) setenv("PLATFORM_USER_DIR", old_.c_str(), 1);
        else unsetenv("PLATFORM_USER_DIR");
        std::filesystem::remove_all(root_);
    }
    std::string File() const { return (root_ / "registry").string(); }
    std::string FileText() const {
        std::ifstream in(File(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::filesystem::path root_;
    bool had_ = false;
    std::string old_;
};

#endif
