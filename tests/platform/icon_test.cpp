#include "platform/forms/icon.h"
#include "platform/forms/image_list.h"

#include <gtest/gtest.h>

#include "platform/exception.h"
#include "tests/support/test_icons.h"

namespace {

TEST(Icon, AssignCopiesThePictureAndNotifiesEachChange)
{
  TIcon source;
  source.SetHandle(MakeTestIcon(24));
  TIcon target;
  int changes = 0;
  target.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &target);
    ++changes;
  };
  EXPECT_TRUE(target.Empty());
  target.Assign(source);
  EXPECT_EQ(changes, 1);
  ASSERT_FALSE(target.Empty());
  EXPECT_NE(target.Handle(), source.Handle()) << "each picture owns its own icon";
  EXPECT_EQ(IconWidth(target.Handle()), 24);

  TIcon empty;
  target.Assign(empty);
  EXPECT_EQ(changes, 2);
  EXPECT_TRUE(target.Empty());
}

TEST(Icon, MissingResourceRaisesAndKeepsThePicture)
{
  TIcon icon;
  icon.SetHandle(MakeTestIcon(16));
  const HICON before = icon.Handle();
  EXPECT_THROW(icon.LoadFromResourceName(GetModuleHandleA(nullptr), "NO_SUCH_ICON"), Exception);
  EXPECT_THROW(icon.LoadFromResourceID(GetModuleHandleA(nullptr), 31999), Exception);
  EXPECT_EQ(icon.Handle(), before);
}

TEST(ImageList, GetIconCopiesByIndexAndYieldsNothingOutside)
{
  TCustomImageList list(nullptr);
  for (int width : {16, 24, 32})
    list.AddIconHandle(MakeTestIcon(width));
  EXPECT_EQ(list.Count(), 3);

  TIcon picture;
  EXPECT_TRUE(list.GetIcon(1, picture));
  EXPECT_EQ(IconWidth(picture.Handle()), 24);
  EXPECT_FALSE(list.GetIcon(3, picture));
  EXPECT_TRUE(picture.Empty());
  EXPECT_TRUE(list.GetIcon(2, picture));
  EXPECT_FALSE(list.GetIcon(-1, picture));
  EXPECT_TRUE(picture.Empty());

  TIcon empty;
  EXPECT_THROW(list.AddIcon(empty), Exception);
  EXPECT_THROW(list.Delete(3), Exception);
  list.Delete(0);
  EXPECT_TRUE(list.GetIcon(0, picture));
  EXPECT_EQ(IconWidth(picture.Handle()), 24);
  EXPECT_EQ(list.Count(), 2);
}

}  // namespace
