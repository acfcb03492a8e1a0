// The folder tree: the "Drives" item (the file-system root and the mounted
// volumes) and the desktop folder. Folders are read when they are expanded
// and forgotten when they are collapsed; only folders are shown.
#pragma once

#include <QTreeWidget>
#include <string>
#include <vector>

namespace zepcon::ui {

// A mounted volume worth showing: real and network file systems, not the
// kernel's pseudo file systems.
struct MountPoint {
  std::string path;
  std::string type;
};

// The volumes listed in a mounts table (the text of /proc/mounts), in its
// order, the root first; escaped characters ("\040") are decoded.
std::vector<MountPoint> VolumesFromMounts(const std::string& mounts_text);

class DirTreeCtrl : public QTreeWidget {
  Q_OBJECT

 public:
  explicit DirTreeCtrl(QWidget* parent = nullptr);

  // Rebuilds the two top-level items. `mounts_text` replaces /proc/mounts
  // and `desktop` the user's desktop folder when given (tests).
  void Fill(const std::string& mounts_text = {}, const std::string& desktop = {});

  // The folder path of an item: empty for "Drives", the mount point of a
  // volume, the desktop folder, or the parent's path and the item's text.
  std::string FullPathOfItem(const QTreeWidgetItem* item) const;

  // Opens the tree along an absolute path and selects its last folder.
  // Returns false, selecting nothing, when a component is not in the tree.
  bool SelectPath(const std::string& path);

  QTreeWidgetItem* DrivesItem() const { return drives_; }
  QTreeWidgetItem* DesktopItem() const { return desktop_; }

 signals:
  // The selected folder changed (its full path; empty for "Drives").
  void FolderSelected(const QString& path);

 private:
  void OnExpanded(QTreeWidgetItem* item);
  void OnCollapsed(QTreeWidgetItem* item);
  void EmptyItem(QTreeWidgetItem* item, bool with_dummy);
  void FitColumn();
  void AddFolderItem(QTreeWidgetItem* parent, const QString& text, const QString& volume_path);

  QTreeWidgetItem* drives_ = nullptr;
  QTreeWidgetItem* desktop_ = nullptr;
  std::string mounts_text_;
  std::string desktop_path_;
};

}  // namespace zepcon::ui
