// Copying and removing whole folder trees of a device, relative to directory
// descriptors: no path-length limit, no recursion, no link followed.
#ifndef VORNIX_PLATFORM_FILE_TREE_H
#define VORNIX_PLATFORM_FILE_TREE_H

#include <string>

namespace device {

// Deepest folder nesting a package may have.
const int kMaxTreeDepth = 64;

// Copies the folder `from` to the new folder `to` as an installer does: files get
// 0755 when any execute bit is set and 0644 otherwise, folders 0755 (no set-id or
// sticky bits); links must stay inside the tree; other special files are left out.
// `err` gets a one-line reason on failure (a partial copy is left for the caller).
bool copyTree(const std::string& from, const std::string& to, std::string* err);

// Removes `path` and everything below it; true when nothing of it is left.
bool removeTree(const std::string& path, std::string* err = nullptr);

}  // namespace device

#endif
