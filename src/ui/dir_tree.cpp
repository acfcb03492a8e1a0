#include "ui/dir_tree.h"

#include <QDir>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QScrollBar>
#include <QTimer>
#include <QStandardPaths>
#include <QStyle>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

#include "ui/file_list_rules.h"

namespace zepcon::ui {
namespace {

// Kept in the items of mounted volumes: their own mount point.
constexpr int kVolumePathRole = Qt::UserRole + 1;

// Kernel and virtual file systems: nothing a user keeps files on.
const std::set<std::string>& PseudoFileSystems() {
  static const std::set<std::string> names = {
      "proc",    "sysfs",      "devtmpfs", "devpts",    "tmpfs",     "cgroup",   "cgroup2", "mqueue",
      "debugfs", "tracefs",    "securityfs", "pstore",  "bpf",       "autofs",   "hugetlbfs", "configfs",
      "fusectl", "binfmt_misc", "rpc_pipefs", "nsfs",   "efivarfs",  "ramfs",    "selinuxfs", "overlay",
      "squashfs", "fuse.portal", "fuse.gvfsd-fuse", "nfsd"};
  return names;
}

// Mount tables escape blanks, tabs, newlines and backslashes as octal.
std::string DecodeMountField(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string digits = field.substr(i + 1, 3);
      if (digits.size() == 3 && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
        out += static_cast<char>(std::stoi(digits, nullptr, 8));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

bool UnderSystemFolder(const std::string& path) {
  for (const char* prefix : {"/proc", "/sys", "/dev", "/run"}) {
    const size_t length = std::char_traits<char>::length(prefix);
    if (path.compare(0, length, prefix) == 0 && (path.size() == length || path[length] == '/')) return true;
  }
  return false;
}

std::string ReadMountsFile() {
  std::ifstream file("/proc/mounts");
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string DesktopFolder() {
  const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  std::error_code error;
  if (!desktop.isEmpty() && std::filesystem::is_directory(desktop.toStdString(), error)) return desktop.toStdString();
  return QDir::homePath().toStdString();
}

}  // namespace

std::vector<MountPoint> VolumesFromMounts(const std::string& mounts_text) {
  std::vector<MountPoint> volumes{{"/", ""}};
  std::istringstream lines(mounts_text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string device, path, type;
    if (!(fields >> device >> path >> type)) continue;
    path = DecodeMountField(path);
    if (path.empty() || path[0] != '/') continue;
    if (path == "/") {
      volumes[0].type = type;
      continue;
    }
    if (PseudoFileSystems().count(type) || UnderSystemFolder(path)) continue;
    const bool seen = std::any_of(volumes.begin(), volumes.end(), [&](const MountPoint& m) { return m.path == path; });
    if (!seen) volumes.push_back({path, type});
  }
  return volumes;
}

DirTreeCtrl::DirTreeCtrl(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  setSelectionMode(QAbstractItemView::SingleSelection);
  // Deep folders scroll sideways instead of being cut to "...".
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  header()->setStretchLastSection(false);
  setTextElideMode(Qt::ElideNone);
  connect(this, &QTreeWidget::itemExpanded, this, &DirTreeCtrl::OnExpanded);
  connect(this, &QTreeWidget::itemCollapsed, this, &DirTreeCtrl::OnCollapsed);
  connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
    if (current) emit FolderSelected(QString::fromStdString(FullPathOfItem(current)));
  });
}

void DirTreeCtrl::Fill(const std::string& mounts_text, const std::string& desktop) {
  blockSignals(true);
  clear();
  blockSignals(false);
  mounts_text_ = mounts_text;
  desktop_path_ = desktop.empty() ? DesktopFolder() : desktop;
  QFileIconProvider icons;

  drives_ = new QTreeWidgetItem(this, QStringList{tr("Drives")});
  drives_->setIcon(0, icons.icon(QFileIconProvider::Computer));
  drives_->addChild(new QTreeWidgetItem());

  const QString desktop_name = QDir(QString::fromStdString(desktop_path_)).dirName();
  desktop_ = new QTreeWidgetItem(this, QStringList{desktop_name.isEmpty() ? tr("Desktop") : desktop_name});
  desktop_->setIcon(0, icons.icon(QFileIconProvider::Desktop));
  desktop_->addChild(new QTreeWidgetItem());
}

void DirTreeCtrl::AddFolderItem(QTreeWidgetItem* parent, const QString& text, const QString& volume_path) {
  auto* item = new QTreeWidgetItem(parent, QStringList{text});
  QIcon icon;
  if (!volume_path.isEmpty()) {
    icon = QFileIconProvider().icon(QFileIconProvider::Drive);
    item->setData(0, kVolumePathRole, volume_path);
  } else {
    icon.addPixmap(style()->standardPixmap(QStyle::SP_DirClosedIcon), QIcon::Normal, QIcon::Off);
    icon.addPixmap(style()->standardPixmap(QStyle::SP_DirOpenIcon), QIcon::Normal, QIcon::On);
    icon.addPixmap(style()->standardPixmap(QStyle::SP_DirOpenIcon), QIcon::Selected, QIcon::Off);
  }
  item->setIcon(0, icon);
  item->addChild(new QTreeWidgetItem());  // an expand button until the folder is read
}

void DirTreeCtrl::EmptyItem(QTreeWidgetItem* item, bool with_dummy) {
  const QList<QTreeWidgetItem*> children = item->takeChildren();
  qDeleteAll(children);
  if (with_dummy) item->addChild(new QTreeWidgetItem());
}

void DirTreeCtrl::OnCollapsed(QTreeWidgetItem* item) {
  // Forgetting the content makes the next expansion read the disk again.
  EmptyItem(item, true);
}

void DirTreeCtrl::OnExpanded(QTreeWidgetItem* item) {
  EmptyItem(item, false);
  if (item == drives_) {
    const std::string mounts = mounts_text_.empty() ? ReadMountsFile() : mounts_text_;
    for (const MountPoint& volume : VolumesFromMounts(mounts)) {
      const QString path = QString::fromStdString(volume.path);
      AddFolderItem(item, path, path);
    }
    return;
  }
  std::string folder = FullPathOfItem(item);
  if (folder.empty()) return;
  if (folder.back() != '/') folder += '/';

  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code kind_error;
    if (it->is_directory(kind_error)) names.push_back(it->path().filename().string());
  }
  std::stable_sort(names.begin(), names.end(),
                   [](const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; });
  for (const std::string& name : names) AddFolderItem(item, QString::fromStdString(name), {});
  FitColumn();
}

void DirTreeCtrl::FitColumn() {
  // Once the new rows are laid out, so that their indentation counts.
  QTimer::singleShot(0, this, [this] {
    resizeColumnToContents(0);
    if (QTreeWidgetItem* current = currentItem()) {
      const QRect place = visualItemRect(current);
      horizontalScrollBar()->setValue(horizontalScrollBar()->value() + place.left() - indentation());
    }
  });
}

std::string DirTreeCtrl::FullPathOfItem(const QTreeWidgetItem* item) const {
  if (!item || item == drives_) return {};
  if (item == desktop_) return desktop_path_;
  const QVariant volume = item->data(0, kVolumePathRole);
  if (volume.isValid()) return volume.toString().toStdString();
  std::string path = FullPathOfItem(item->parent());
  if (path.empty() || path.back() != '/') path += '/';
  return path + item->text(0).toStdString();
}

bool DirTreeCtrl::SelectPath(const std::string& wanted) {
  if (!drives_ || wanted.empty() || wanted[0] != '/') return false;
  std::string path = wanted;
  while (path.size() > 1 && path.back() == '/') path.pop_back();

  drives_->setExpanded(true);
  // The volume holding the path: the longest mount point in front of it.
  QTreeWidgetItem* current = nullptr;
  size_t matched = 0;
  for (int i = 0; i < drives_->childCount(); ++i) {
    const std::string mount = drives_->child(i)->data(0, kVolumePathRole).toString().toStdString();
    const bool in_front = mount == "/" || path == mount || path.compare(0, mount.size() + 1, mount + "/") == 0;
    if (in_front && (!current || mount.size() > matched)) {
      current = drives_->child(i);
      matched = mount.size();
    }
  }
  if (!current) return false;
  current->setExpanded(true);

  std::istringstream components(path.substr(matched));
  std::string component;
  while (std::getline(components, component, '/')) {
    if (component.empty()) continue;
    const QString name = QString::fromStdString(component);
    QTreeWidgetItem* found = nullptr;
    // The exact name first: on this system two folders may differ by case only.
    for (int i = 0; i < current->childCount() && !found; ++i)
      if (current->child(i)->text(0) == name) found = current->child(i);
    for (int i = 0; i < current->childCount() && !found; ++i)
      if (current->child(i)->text(0).compare(name, Qt::CaseInsensitive) == 0) found = current->child(i);
    if (!found) return false;
    found->setExpanded(true);
    current = found;
  }
  if (currentItem() == current)
    emit FolderSelected(QString::fromStdString(FullPathOfItem(current)));  // entered again
  else
    setCurrentItem(current);
  scrollToItem(current);
  FitColumn();
  return true;
}

}  // namespace zepcon::ui
