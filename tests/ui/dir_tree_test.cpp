#include "ui/dir_tree.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace zepcon::test {
namespace {

std::vector<std::string> ChildTexts(const QTreeWidgetItem* item) {
  std::vector<std::string> texts;
  for (int i = 0; i < item->childCount(); ++i) texts.push_back(item->child(i)->text(0).toStdString());
  return texts;
}

TEST(DirTree, VolumesFromTheMountsTable) {
  const std::string mounts =
      "overlay / overlay rw 0 0\n"
      "proc /proc proc rw 0 0\n"
      "tmpfs /dev tmpfs rw 0 0\n"
      "sysfs /sys sysfs ro 0 0\n"
      "/dev/sdb1 /media/usb\\040stick vfat rw 0 0\n"
      "server:/export /mnt/nfs nfs4 rw 0 0\n"
      "/dev/sda2 /run/something ext4 rw 0 0\n"
      "tmpfs /tmp tmpfs rw 0 0\n"
      "broken-line\n"
      "/dev/sdb1 /media/usb\\040stick vfat rw 0 0\n";
  std::vector<std::string> paths;
  for (const ui::MountPoint& volume : ui::VolumesFromMounts(mounts)) paths.push_back(volume.path);
  EXPECT_EQ(paths, (std::vector<std::string>{"/", "/media/usb stick", "/mnt/nfs"}));
  EXPECT_EQ(ui::VolumesFromMounts("").size(), 1u);  // the root is always there
}

class DirTreeTest : public ::testing::Test {
 protected:
  TempDir root;
  ui::DirTreeCtrl tree;
  std::vector<std::string> entered;

  void SetUp() override {
    QObject::connect(&tree, &ui::DirTreeCtrl::FolderSelected,
                     [this](const QString& path) { entered.push_back(path.toStdString()); });
    tree.Fill("/dev/root / ext4 rw 0 0\n", root.Path().string());
  }
};

TEST_F(DirTreeTest, OpensADeepPathAndSortsFoldersIgnoringCase) {
  const std::filesystem::path deep = root.Path() / "Games" / "quake" / "baseq";
  std::filesystem::create_directories(deep);
  for (const char* name : {"b", "A", "c"}) std::filesystem::create_directory(root.Path() / "Games" / name);
  WriteText(root.Path() / "Games" / "a-file", "files are not shown\n");

  ASSERT_TRUE(tree.SelectPath((root.Path() / "games" / "QUAKE" / "baseq").string() + "/"));
  ASSERT_NE(tree.currentItem(), nullptr);
  EXPECT_EQ(tree.FullPathOfItem(tree.currentItem()), deep.string());
  ASSERT_FALSE(entered.empty());
  EXPECT_EQ(entered.back(), deep.string());
  const QTreeWidgetItem* games = tree.currentItem()->parent()->parent();
  EXPECT_EQ(ChildTexts(games), (std::vector<std::string>{"A", "b", "c", "quake"}));
  // Unread folders show an expand button through their dummy child.
  EXPECT_EQ(games->child(0)->childCount(), 1);

  // A missing component selects nothing.
  const size_t entered_before = entered.size();
  EXPECT_FALSE(tree.SelectPath((root.Path() / "Games" / "doom").string()));
  EXPECT_EQ(entered.size(), entered_before);
  EXPECT_FALSE(tree.SelectPath("relative/path"));
}

TEST_F(DirTreeTest, CollapsingForgetsAndExpandingRereads) {
  std::filesystem::create_directories(root.Path() / "top" / "one");
  ASSERT_TRUE(tree.SelectPath((root.Path() / "top").string()));
  QTreeWidgetItem* top = tree.currentItem();
  EXPECT_EQ(ChildTexts(top), std::vector<std::string>{"one"});
  top->setExpanded(false);
  EXPECT_EQ(ChildTexts(top), std::vector<std::string>{""});  // the dummy again
  std::filesystem::create_directory(root.Path() / "top" / "Two");
  top->setExpanded(true);
  EXPECT_EQ(ChildTexts(top), (std::vector<std::string>{"one", "Two"}));
}

}  // namespace
}  // namespace zepcon::test
