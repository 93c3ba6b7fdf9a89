// The registry store under Wine or Windows: a key of the test's own below the current user.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/PlayerSettings.h"
#include "ui/Settings.h"
#include "ui/win32/RegistrySettingsStore.h"
#include "ui/win32/Win32Windows.h"

namespace tarvex::test {
namespace {

constexpr const char* kTestKey = "Software\\Brennwerks\\TarvexTest";

class RegistryStoreTest : public ::testing::Test {
   protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey); }

    // Plants a raw value of any type and size, as another program might have left it.
    static void plant(const char* name, DWORD type, const void* data, DWORD bytes) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), bytes);
        RegCloseKey(key);
    }

    // The stored type and value, read past the store.
    static std::pair<DWORD, DWORD> stored(const char* name) {
        DWORD type = 0;
        DWORD value = 0;
        DWORD size = sizeof value;
        if (RegGetValueA(HKEY_CURRENT_USER, kTestKey, name, RRF_RT_ANY, &type, &value, &size) !=
            ERROR_SUCCESS) {
            return {REG_NONE, 0};
        }
        return {type, value};
    }
};

TEST_F(RegistryStoreTest, CreatesTheKeyAndWritesDwords) {
    win32::RegistrySettingsStore store(kTestKey);
    ASSERT_TRUE(store.open());
    EXPECT_FALSE(store.read("ISP").has_value());
    store.write("ISP", 1);
    store.write("PlayerFrequenzy", 6);
    store.close();
    EXPECT_EQ(stored("ISP"), std::make_pair(DWORD(REG_DWORD), DWORD(1)));
    EXPECT_EQ(stored("PlayerFrequenzy"), std::make_pair(DWORD(REG_DWORD), DWORD(6)));

    ASSERT_TRUE(store.open());
    EXPECT_EQ(store.read("PlayerFrequenzy"), 6u);
    store.close();
    // Closed: nothing is read or written.
    EXPECT_FALSE(store.read("ISP").has_value());
    store.write("Click", 1);
    EXPECT_EQ(stored("Click").first, DWORD(REG_NONE));
}

TEST_F(RegistryStoreTest, OnlyFourByteValuesCount) {
    const uint32_t four = 3;
    const uint16_t two = 3;
    const uint64_t eight = 3;
    struct Case {
        const char* name;
        DWORD type;
        const void* data;
        DWORD bytes;
        bool present;
    };
    const Case cases[] = {
        {"Dword", REG_DWORD, &four, 4, true},
        {"BinaryOfFour", REG_BINARY, &four, 4, true},  // the type is not checked
        {"Short", REG_BINARY, &two, 2, false},
        {"Long", REG_QWORD, &eight, 8, false},
        {"Text", REG_SZ, "3", 2, false},
    };
    for (const Case& c : cases) plant(c.name, c.type, c.data, c.bytes);
    win32::RegistrySettingsStore store(kTestKey);
    ASSERT_TRUE(store.open());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<uint32_t> value = store.read(c.name);
        EXPECT_EQ(value.has_value(), c.present);
        if (c.present) {
            EXPECT_EQ(*value, 3u);
        }
    }
}

TEST_F(RegistryStoreTest, SettingsRoundTripThroughTheRegistry) {
    const uint32_t invalidIndex = 7;
    const uint32_t missing = 0xFFFFFFFFu;
    const uint32_t two = 2;
    plant("PlayerFrequenzy", REG_DWORD, &invalidIndex, 4);
    plant("ISP", REG_DWORD, &two, 4);
    plant("Clipping", REG_DWORD, &missing, 4);

    win32::RegistrySettingsStore store(kTestKey);
    PlayerSettings settings;
    settings.Clipping = true;
    SettingsControls controls = loadSettings(store, settings);
    EXPECT_EQ(controls.rateIndex, kDefaultRateIndex);
    EXPECT_TRUE(controls.isp);
    EXPECT_TRUE(controls.clipping);
    EXPECT_FALSE(controls.useWaveOut);

    controls.useWaveOut = true;
    saveSettings(store, controls);
    const char* names[] = {
        "PlayerFrequenzy", "PlayerBuffers", "PlayerChannels", "PlayerSamples", "ISP",
        "WideStereo",      "UseWaveOut",    "Clipping",       "Click",         "LoopsAllowed"};
    for (const char* name : names) EXPECT_EQ(stored(name).first, DWORD(REG_DWORD)) << name;
    EXPECT_EQ(stored("PlayerFrequenzy").second, DWORD(kDefaultRateIndex));
    EXPECT_EQ(stored("ISP").second, DWORD(1));
    EXPECT_EQ(stored("UseWaveOut").second, DWORD(1));
}

TEST(CommandLinePathTest, FirstArgumentAfterTheProgramName) {
    struct Case {
        const char* line;
        std::optional<std::string> path;
    };
    const Case cases[] = {
        {"tarvex.exe", std::nullopt},
        {"\"C:\\Program Files\\tarvex.exe\"   ", std::nullopt},
        {"tarvex.exe song.mod", "song.mod"},
        {"\"C:\\Program Files\\tarvex.exe\" \"C:\\My Songs\\a.s3m\" more", "C:\\My Songs\\a.s3m"},
        {"  tarvex   list.lst", "list.lst"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(win32::commandLinePath(c.line), c.path) << c.line;
    }
    EXPECT_EQ(win32::commandLinePath(nullptr), std::nullopt);
}

}  // namespace
}  // namespace tarvex::test
