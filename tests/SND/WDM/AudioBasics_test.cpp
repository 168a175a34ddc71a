#include "SND/WDM/DeviceSettings.h"
#include "tests/SND/WDM/SimFixture.h"

#include <gtest/gtest.h>

namespace sonari {
namespace {

TEST(DeviceSettings, ChecksEachRuleInOrderAndDuplexBuffersMustLastEquallyLong) {
    auto codeOf = [](const TDeviceSettings& settings, int devices) {
        return test::WdmErrorOf([&] { CheckDeviceSettings(settings, devices); });
    };
    EXPECT_NO_THROW(CheckDeviceSettings({0, 2, 16, 48000, 144000}, 1));
    EXPECT_EQ(codeOf({0, 2, 16, 48000, 144001}, 1),
              std::make_pair(10, std::string("Buffer too large: 144001 samples")));
    EXPECT_EQ(codeOf({1, 2, 16, 48000, 2048}, 1),
              std::make_pair(6, std::string("Invalid device number: 1")));
    EXPECT_EQ(codeOf({-1, 0, 0, 0, 0}, 1).first, 6);
    EXPECT_EQ(codeOf({0, 0, 7, 999, 0}, 1).first, 7);
    EXPECT_EQ(codeOf({0, 1, 7, 999, 0}, 1).first, 8);
    EXPECT_EQ(codeOf({0, 1, 33, 999, 0}, 1).first, 8);
    EXPECT_EQ(codeOf({0, 1, 32, 999, 0}, 1),
              std::make_pair(9, std::string("Invalid sampling rate: 999 Hz")));
    EXPECT_EQ(codeOf({0, 1, 8, 200001, 0}, 1).first, 9);

    EXPECT_NO_THROW(CheckBufferMatch({0, 2, 16, 48000, 2048}, {0, 2, 16, 96000, 4096}));
    EXPECT_EQ(test::WdmErrorOf([] {
                  CheckBufferMatch({0, 2, 16, 48000, 2048}, {0, 2, 16, 48000, 1024});
              }),
              std::make_pair(11, std::string("Input/output buffer size mismatch")));
}

} // namespace
} // namespace sonari
