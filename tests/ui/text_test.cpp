#include <gtest/gtest.h>

#include "ui/text.h"

TEST(Text, Cp932RoundTrip) {
    const std::wstring s = L"日本語テキスト ABC ｱｲｳ";
    EXPECT_EQ(ui::WideFromCp932(ui::Cp932FromWide(s)), s);
}
