#include "io/walk.h"

#include <algorithm>
#include <cerrno>
#include <vector>

namespace lomvik::io {

namespace {

struct Level {
  std::shared_ptr<const Folder> folder;  // empty while it is closed to save descriptors
  std::string name;                      // in the folder above
  FileId id;
  std::vector<FolderEntry> entries;
  std::size_t next = 0;
  std::size_t path_length = 0;
};

bool is_separator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

class TreeWalk {
 public:
  TreeWalk(std::string root_path, WalkVisitor& visitor, std::size_t max_open_folders)
      : path_(std::move(root_path)),
        visitor_(visitor),
        max_open_(std::max<std::size_t>(max_open_folders, 2)) {}

  void run(Folder root) {
    const std::string root_name = path_;
    if (!path_.empty() && !is_separator(path_.back())) path_ += kSeparator;
    if (!enter(std::move(root), root_name)) return;
    while (!levels_.empty()) {
      Level& top = levels_.back();
      if (top.next == top.entries.size()) {
        leave();
        continue;
      }
      FolderEntry& entry = top.entries[top.next++];
      path_.resize(top.path_length);
      if (entry.kind == FileKind::other) {
        // The listing did not say; look without following a link.
        if (const auto info = top.folder->stat(entry.name, false)) entry.kind = info->kind;
      }
      if (entry.kind == FileKind::directory) {
        descend(top, entry.name);
      } else {
        visitor_.visit({top.folder, path_, top.entries}, entry);
      }
    }
  }

 private:
  void descend(const Level& parent, const std::string& name) {
    const std::string child_path = path_ + name;
    auto child = parent.folder->open_folder(name);
    if (!child) {
      visitor_.folder_failed(child_path, FolderProblem::cannot_open, child.error());
      return;
    }
    path_ += name;
    enter(std::move(*child), child_path, name);
  }

  // Lists a folder and makes it the one being walked.
  bool enter(Folder folder, const std::string& path, const std::string& name = {}) {
    const auto info = folder.info();
    auto entries = folder.list();
    if (!info || !entries) {
      visitor_.folder_failed(path, FolderProblem::cannot_list,
                             info ? entries.error() : info.error());
      return false;
    }
    std::sort(entries->begin(), entries->end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    if (!path_.empty() && !is_separator(path_.back())) path_ += kSeparator;
    Level level;
    level.folder = std::make_shared<const Folder>(std::move(folder));
    level.name = name;
    level.id = info->id;
    level.entries = std::move(*entries);
    level.path_length = path_.size();
    levels_.push_back(std::move(level));
    // Deep down, the folders far above give back their descriptors (all but the root, from which
    // any of them can be found again); they are opened again when the walk returns to them.
    if (levels_.size() > max_open_ + 1) levels_[levels_.size() - 1 - max_open_].folder.reset();
    return true;
  }

  void leave() {
    const std::shared_ptr<const Folder> child = std::move(levels_.back().folder);
    levels_.pop_back();
    if (levels_.empty() || levels_.back().folder) return;
    Level& parent = levels_.back();
    // One step up through "..", when that leads to the very folder that was left; otherwise (the
    // folder left was moved) name by name from the nearest folder above that is still open.
    if (child) parent.folder = verified(child->open_parent(), parent.id);
    if (!parent.folder) parent.folder = reopen_from_above(levels_.size() - 1);
    if (!parent.folder) {
      path_.resize(parent.path_length);
      std::string name = path_;
      if (name.size() > 1) name.pop_back();
      visitor_.folder_failed(name, FolderProblem::moved, 0);
      parent.next = parent.entries.size();
    }
  }

  static std::shared_ptr<const Folder> verified(Result<Folder> folder, const FileId& id) {
    if (!folder) return nullptr;
    const auto info = folder->info();
    if (!info || info->id != id) return nullptr;
    return std::make_shared<const Folder>(std::move(*folder));
  }

  std::shared_ptr<const Folder> reopen_from_above(std::size_t index) const {
    std::size_t open = index;
    while (!levels_[open].folder) --open;  // the root is always open
    std::shared_ptr<const Folder> folder = levels_[open].folder;
    for (std::size_t level = open + 1; folder && level <= index; ++level) {
      folder = verified(folder->open_folder(levels_[level].name), levels_[level].id);
    }
    return folder;
  }

  std::string path_;
  WalkVisitor& visitor_;
  std::size_t max_open_;
  std::vector<Level> levels_;
};

}  // namespace

void walk_tree(Folder root, const std::string& root_path, WalkVisitor& visitor,
               std::size_t max_open_folders) {
  TreeWalk(root_path, visitor, max_open_folders).run(std::move(root));
}

}  // namespace lomvik::io
