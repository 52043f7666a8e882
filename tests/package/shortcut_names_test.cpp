#include "package/shortcut_names.h"

#include <gtest/gtest.h>

namespace kb {
namespace {

TEST(ShortcutNamesTest, IconKeysEndLikePrograms) {
  EXPECT_EQ(IconKey("app.ico"), "app.exe");
  EXPECT_EQ(IconKey("APP.ICO"), "APP.ICO");
  EXPECT_EQ(IconKey("a.ico.ico"), "a.exe.exe");
  EXPECT_EQ(IconKey(""), "");
}

TEST(ShortcutNamesTest, MenuFolderIsTheTitleWithAShortName) {
  EXPECT_EQ(MenuFolderDefaultDir("My Great Product"), "MyGreatP|My Great Product");
  EXPECT_EQ(MenuFolderDefaultDir("Tool"), "Tool|Tool");
  EXPECT_EQ(MenuFolderDefaultDir(""), "|");
  EXPECT_EQ(MenuFolderDefaultDir("Caf\u00E9 \u00E0 la carte"),
            "Caf\u00E9\u00E0lac|Caf\u00E9 \u00E0 la carte");
}

TEST(ShortcutNamesTest, DefaultLabelDropsTheLongNamesExtension) {
  EXPECT_EQ(ShortcutLabel("SETUP~1.EXE|Setup Tool.exe", "default"), "SETUP~1.EXE|Setup Tool");
  EXPECT_EQ(ShortcutLabel("README|README", "default"), "README|README");
}

TEST(ShortcutNamesTest, OtherLabelsFollowTheShortNameWithoutExtension) {
  EXPECT_EQ(ShortcutLabel("SETUP~1.EXE|Setup Tool.exe", "My Tool"), "SETUP~1|My Tool");
  EXPECT_EQ(ShortcutLabel("TOOL|tool", "It's mine"), "TOOL|It's mine");
  EXPECT_EQ(ShortcutLabel("", "Missing"), "|Missing");
}

}  // namespace
}  // namespace kb
