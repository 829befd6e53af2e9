// Walking folder trees: name order at any depth, with few folders held open, and a folder moved
// away while the walk is below it.
#include "io/walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace lomvik::io {
namespace {

namespace fs = std::filesystem;

// Records what the walk reports, as text: "path" for a visit, "path: problem" for a failure.
class Recorder final : public WalkVisitor {
 public:
  std::function<void(const std::string&)> on_visit;
  std::vector<std::string> seen;

  void visit(const WalkPlace& place, const FolderEntry& entry) override {
    seen.push_back(std::string(place.path) + entry.name);
    if (on_visit) on_visit(seen.back());
  }
  void folder_failed(const std::string& path, FolderProblem problem, int) override {
    seen.push_back(path + (problem == FolderProblem::moved ? ": moved" : ": cannot read"));
  }
};

// What a walk in name order must visit: every file below root, depth first, siblings sorted.
std::vector<std::string> reference_walk(const fs::path& root, const std::string& shown) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(root)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> seen;
  for (const std::string& name : names) {
    if (fs::is_directory(fs::symlink_status(root / name))) {
      const auto below = reference_walk(root / name, shown + name + kSeparator);
      seen.insert(seen.end(), below.begin(), below.end());
    } else {
      seen.push_back(shown + name);
    }
  }
  return seen;
}

class WalkTest : public testing::TempDirTest {
 protected:
  void make_file(const std::string& name) {
    fs::create_directories(fs::path(path(name)).parent_path());
    write_file(path(name), "x");
  }
  std::vector<std::string> walk(const std::string& root, std::size_t max_open, Recorder& recorder) {
    auto folder = Folder::open(path(root));
    EXPECT_TRUE(folder);
    walk_tree(std::move(*folder), root, recorder, max_open);
    return recorder.seen;
  }
};

std::string chain(int depth) {
  std::string folders;
  for (int level = 0; level < depth; ++level) {
    folders += 'd';
    folders += std::to_string(level);
    folders += '/';
  }
  return folders;
}

TEST_F(WalkTest, NameOrderAtAnyDepthWithFewFoldersOpen) {
  // Chains deeper than the folders held open, with files before, inside and after them.
  const std::vector<std::string> files = {
      "t/a.bin",
      "t/" + chain(5) + "deep.bin",
      "t/" + chain(5) + "z/deeper.bin",
      "t/" + chain(3) + "mid.bin",
      "t/d0/zz.bin",
      "t/m/" + chain(40) + "f",
      "t/m/z",
      "t/z.bin",
      "t/zz/" + chain(2) + "g",
  };
  for (const std::string& file : files) make_file(file);
  const std::string shown = std::string("t") + kSeparator;
  for (const std::size_t max_open : {2, 3, 5, 32}) {
    Recorder recorder;
    const auto seen = walk("t", max_open, recorder);
    std::vector<std::string> want = reference_walk(path("t"), shown);
    for (std::string& name : want) std::replace(name.begin(), name.end(), '/', kSeparator);
    EXPECT_EQ(seen, want) << "with " << max_open << " folders open";
  }
}

#ifndef _WIN32
// A folder moved to another parent while the walk is below it: the walk finds its way back to the
// folders above by their names; one that is gone from there too is reported, and the rest walked.
TEST_F(WalkTest, FoldersMovedDuringTheWalk) {
  make_file("r/a/b/c/d/e/f/g/file");
  make_file("r/a/b/later");
  make_file("r/a/later");
  make_file("r/later");
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> moves;  // done at the deep file
    std::vector<std::string> seen;
  } const cases[] = {
      {"the folder below",
       {{"r/a/b/c", "r/c"}},
       {"r/a/b/c/d/e/f/g/file", "r/a/b/later", "r/a/later", "r/later"}},
      {"and the folder above it",
       {{"r/a/b/c", "r/c"}, {"r/a/b", "r/a/b2"}},
       {"r/a/b/c/d/e/f/g/file", "r/a/b: moved", "r/a/later", "r/later"}},
  };
  for (const Case& c : cases) {
    fs::remove_all(path("r/c"));
    if (fs::exists(path("r/a/b2"))) fs::rename(path("r/a/b2"), path("r/a/b"));
    fs::remove_all(path("r/a/b/c"));
    make_file("r/a/b/c/d/e/f/g/file");
    Recorder recorder;
    recorder.on_visit = [&](const std::string& name) {
      if (name.ends_with("/file")) {
        for (const auto& [from, to] : c.moves) fs::rename(path(from), path(to));
      }
    };
    EXPECT_EQ(walk("r", 2, recorder), c.seen) << c.what;
  }
}
#endif

}  // namespace
}  // namespace lomvik::io
