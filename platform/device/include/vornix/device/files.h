// SPDX-License-Identifier: Apache-2.0
// The file-system helpers of the device model. Small files and folders (files.cpp);
// whole folder trees (file_tree.cpp), handled relative to directory descriptors: no
// path-length limit, no recursion, no link followed.
#ifndef VORNIX_DEVICE_FILES_H
#define VORNIX_DEVICE_FILES_H

#include <stddef.h>
#include <sys/types.h>

#include <string>

namespace device {

bool isDir(const std::string& path);   // follows links
bool isFile(const std::string& path);  // a regular file; follows links
bool exists(const std::string& path);  // anything, a dangling link too
// Creates `path` and its missing parents (0755); true when it is a folder afterwards.
bool makeDirs(const std::string& path);
// Opens `path` for reading when it is a regular file: never follows a link, never waits
// on a FIFO. -1 otherwise, with errno set (EINVAL for something other than a file) and
// `*why` (when given) saying why, fit for a log line; `size` gets the file's size at open.
int openRegularFile(const std::string& path, off_t* size = nullptr, const char** why = nullptr);
// A whole small regular file, refused when it holds more than `limit` bytes; never
// blocks on a FIFO and never follows a link.
bool readSmallFile(const std::string& path, size_t limit, std::string* out);
// Replaces `path` whole: a reader sees the old text or the new, never a part. Unless
// `sync`, the text may still be in memory only: see syncFileSystem().
bool writeFileAtomic(const std::string& path, const std::string& text, bool sync = true);
// Writes out everything written to the file system that holds `path`.
bool syncFileSystem(const std::string& path);
// Opens one of the platform's own files (the log, the launch journal) for appending,
// creating it (0644). Never follows a link, never waits on a FIFO; -1 unless it is a
// regular file without other names (a hard link would carry the lines elsewhere).
int openForAppending(const std::string& path);

// Deepest folder nesting a package may have.
const int kMaxTreeDepth = 64;

// Copies the folder `from` to the new folder `to` as an installer does: files get
// 0755 when any execute bit is set and 0644 otherwise, folders 0755 (no set-id or
// sticky bits), less read for the group and others where `from` denies it; links must
// stay inside the tree, a file with more than one link is refused, and other special
// files are left out.
// `err` gets a one-line reason on failure (a partial copy is left for the caller).
bool copyTree(const std::string& from, const std::string& to, std::string* err);

// Removes `path` and everything below it, folders made read-only by their owner too;
// true when nothing of it is left.
bool removeTree(const std::string& path, std::string* err = nullptr);

}  // namespace device

#endif
