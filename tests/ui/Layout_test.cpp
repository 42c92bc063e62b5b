#include "ui/Layout.h"

#include <gtest/gtest.h>

namespace ombrelta {
namespace {

TEST(LayoutTest, CentresOnTheScreen) {
    struct Row {
        std::int32_t screenWidth, screenHeight, width, height, x, y;
    };
    const Row rows[] = {
        {1920, 1080, 1080, 607, 420, 236}, {1920, 1080, 400, 300, 760, 390}, {1024, 768, 1080, 607, -28, 80},
        {1081, 608, 1080, 607, 0, 0},      {800, 600, 1080, 607, -140, -3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.screenWidth << "x" << row.screenHeight);
        WindowOrigin origin = CentredOrigin(row.screenWidth, row.screenHeight, row.width, row.height);
        EXPECT_EQ(origin.x, row.x);
        EXPECT_EQ(origin.y, row.y);
    }
}

TEST(LayoutTest, SkinPathsLieInTheSkinFolder) {
    EXPECT_EQ(SkinImagePath(L"C:\\Games\\Ombrelta\\", L"Ombrelta.png"),
              L"C:\\Games\\Ombrelta\\data2\\Ombrelta\\Ombrelta.png");
    EXPECT_EQ(SkinImagePath(L"/opt/o/", L"IMAGE_MIN1.png"), L"/opt/o/data2\\Ombrelta\\IMAGE_MIN1.png");
    EXPECT_EQ(SkinImagePath(L"", L"IMAGE_EXIT2.png"), L"data2\\Ombrelta\\IMAGE_EXIT2.png");
}

TEST(LayoutTest, ButtonTableInCreationOrder) {
    struct Row {
        ButtonId id;
        const wchar_t* normal;
        const wchar_t* hover;
        const wchar_t* pressed;
        std::int32_t left, top, width, height;
    };
    const Row rows[] = {
        {ButtonId::Start, L"IMAGE_BUTTONSTART1.png", L"IMAGE_BUTTONSTART2.png", L"IMAGE_BUTTONSTART3.png",
         395, 470, 250, 50},
        {ButtonId::Minimise, L"IMAGE_MIN1.png", L"IMAGE_MIN2.png", L"IMAGE_MIN3.png", 975, 32, 28, 18},
        {ButtonId::Exit, L"IMAGE_EXIT1.png", L"IMAGE_EXIT2.png", L"IMAGE_EXIT3.png", 1015, 22, 35, 35},
        {ButtonId::WhatsApp, L"IMAGE_BUTTONFUN31.png", L"IMAGE_BUTTONFUN32.png", L"IMAGE_BUTTONFUN33.png",
         845, 22, 30, 30},
        {ButtonId::Facebook, L"IMAGE_BUTTONFUN11.png", L"IMAGE_BUTTONFUN12.png", L"IMAGE_BUTTONFUN13.png",
         885, 22, 30, 30},
        {ButtonId::Discord, L"IMAGE_BUTTONFUN21.png", L"IMAGE_BUTTONFUN22.png", L"IMAGE_BUTTONFUN23.png", 925,
         22, 30, 30},
    };
    ASSERT_EQ(std::size(rows), kButtonLayouts.size());
    for (std::size_t i = 0; i < kButtonLayouts.size(); ++i) {
        SCOPED_TRACE(i);
        const ButtonLayout& layout = kButtonLayouts[i];
        EXPECT_EQ(layout.id, rows[i].id);
        EXPECT_EQ(ButtonImageName(layout, 1), rows[i].normal);
        EXPECT_EQ(ButtonImageName(layout, 2), rows[i].hover);
        EXPECT_EQ(ButtonImageName(layout, 3), rows[i].pressed);
        EXPECT_EQ(layout.left, rows[i].left);
        EXPECT_EQ(layout.top, rows[i].top);
        EXPECT_EQ(layout.width, rows[i].width);
        EXPECT_EQ(layout.height, rows[i].height);
    }
}

}  // namespace
}  // namespace ombrelta
