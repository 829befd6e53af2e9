// Walking a folder tree in name order: depth first, the entries of each folder sorted by their
// bytes, each subfolder walked at its place among its siblings. Links to folders are not followed.
//
// Every folder is opened by its name in its parent, so that a path longer than the system allows
// is no obstacle, and only the folders nearest the one being walked are held open: the walk needs
// a bounded number of descriptors at any depth. A folder that cannot be opened or listed is
// reported by its path, and the walk goes on with everything else.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "file.h"

namespace lomvik::io {

// Where the walk is when it visits an entry.
struct WalkPlace {
  // The folder that holds the entry; a holder of this pointer may open files from it later.
  const std::shared_ptr<const Folder>& folder;
  std::string_view path;                 // the folder's path, ending in a separator
  std::span<const FolderEntry> entries;  // all of the folder's entries, sorted by name
};

enum class FolderProblem {
  cannot_open,
  cannot_list,
  moved,  // the folder was moved or replaced while the walk was below it
};

class WalkVisitor {
 public:
  // Every entry that is not a folder, in order.
  virtual void visit(const WalkPlace& place, const FolderEntry& entry) = 0;
  // A folder that is skipped, with everything below it; error is the system's error number.
  virtual void folder_failed(const std::string& path, FolderProblem problem, int error) = 0;

 protected:
  ~WalkVisitor() = default;
};

// Walks the tree below root, whose path is root_path, holding open the root and at most
// max_open_folders (at least 2) of the folders below it, besides those that visitors still hold.
void walk_tree(Folder root, const std::string& root_path, WalkVisitor& visitor,
               std::size_t max_open_folders);

}  // namespace lomvik::io
