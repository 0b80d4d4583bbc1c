#include <gtest/gtest.h>

#include "platform/DynamicLibrary.h"

using namespace platform;

TEST(DynamicLibrary, BindsByNameAndReportsMissingEntryPointByName) {
    DynamicLibrary lib;
    std::string error;
    ASSERT_TRUE(lib.Open(TUNOVA_TEST_DYNLIB, &error)) << error;
    EXPECT_TRUE(lib.IsOpen());

    int (*add)(int, int) = nullptr;
    const char* (*name)() = nullptr;
    ASSERT_TRUE(lib.Bind(add, "tunova_fixture_add", &error)) << error;
    ASSERT_TRUE(lib.Bind(name, "tunova_fixture_name", &error)) << error;
    EXPECT_EQ(add(2, 40), 42);
    EXPECT_STREQ(name(), "fixture");

    void (*missing)() = nullptr;
    EXPECT_FALSE(lib.Bind(missing, "_AdsPortOpenEx@0", &error));
    EXPECT_EQ(missing, nullptr);
    EXPECT_NE(error.find("missing"), std::string::npos);
    EXPECT_NE(error.find("_AdsPortOpenEx@0"), std::string::npos) << error;

    DynamicLibrary moved = std::move(lib);
    EXPECT_FALSE(lib.IsOpen());
    EXPECT_NE(moved.Symbol("tunova_fixture_add", nullptr), nullptr);
    moved.Close();
    EXPECT_EQ(moved.Symbol("tunova_fixture_add", &error), nullptr);
    EXPECT_NE(error.find("tunova_fixture_add"), std::string::npos);
}

TEST(DynamicLibrary, MissingLibraryGivesReadableError) {
    DynamicLibrary lib;
    std::string error;
    EXPECT_FALSE(lib.Open("/nonexistent/folder/libNothing.so", &error));
    EXPECT_NE(error.find("libNothing.so"), std::string::npos) << error;
    EXPECT_FALSE(lib.IsOpen());
    EXPECT_FALSE(lib.Open("", &error));
}
