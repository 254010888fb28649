// SPDX-License-Identifier: Apache-2.0
#include <vornix/device/files.h>

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <glib.h>

#include <vector>

#include <vornix/device/scoped_fd.h>

namespace device {

bool isDir(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool makeDirs(const std::string& path) {
    if (g_mkdir_with_parents(path.c_str(), 0755) == 0) return true;
    // Something else at `path` itself: mkdir's answer, not GLib's "not a directory".
    if (errno == ENOTDIR && exists(path) && !isDir(path)) errno = EEXIST;
    return false;
}

bool exists(const std::string& p) {
    struct stat st;
    return lstat(p.c_str(), &st) == 0;
}
int openRegularFile(const std::string& path, off_t* size, const char** why) {
    ScopedFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    bool opened = fd.valid() && fstat(fd.get(), &st) == 0;
    if (!opened || !S_ISREG(st.st_mode)) {
        int failed = opened ? EINVAL : errno;
        fd.reset();
        if (why) *why = opened ? "not a regular file" : strerror(failed);
        errno = failed;
        return -1;
    }
    if (size) *size = st.st_size;
    return fd.release();
}

bool readSmallFile(const std::string& path, size_t limit, std::string* out) {
    off_t size = 0;
    ScopedFd fd(openRegularFile(path, &size));
    bool ok = fd.valid() && static_cast<unsigned long long>(size) <= limit;  // no cut on 32 bits
    std::string data;
    std::vector<char> buf(ok ? 65536 : 0);
    ssize_t n = 0;
    while (ok && (n = read(fd.get(), buf.data(), buf.size())) > 0) {
        data.append(buf.data(), n);
        ok = data.size() <= limit;
    }
    if (!ok || n < 0) return false;
    *out = data;
    return true;
}

int openForAppending(const std::string& path) {
    ScopedFd fd(open(path.c_str(),
                     O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    struct stat st;
    if (!fd.valid() || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1)
        return -1;
    return fd.release();
}

// GLib answers with a GError; the callers name errno's reason, as for every other call.
int errnoOf(const GError* e) {
    static const std::pair<int, int> codes[] = {
        {G_FILE_ERROR_NOSPC, ENOSPC}, {G_FILE_ERROR_ACCES, EACCES},   {G_FILE_ERROR_PERM, EPERM},
        {G_FILE_ERROR_NOENT, ENOENT}, {G_FILE_ERROR_NOTDIR, ENOTDIR}, {G_FILE_ERROR_ROFS, EROFS},
        {G_FILE_ERROR_ISDIR, EISDIR}, {G_FILE_ERROR_EXIST, EEXIST},   {G_FILE_ERROR_NOMEM, ENOMEM}};
    for (const auto& c : codes)
        if (e && e->domain == G_FILE_ERROR && e->code == c.first) return c.second;
    return EIO;
}

bool writeFileAtomic(const std::string& path, const std::string& text, bool sync) {
    if (sync) {
        GError* e = nullptr;
        auto flags = static_cast<GFileSetContentsFlags>(G_FILE_SET_CONTENTS_CONSISTENT |
                                                        G_FILE_SET_CONTENTS_DURABLE);
        bool ok = g_file_set_contents_full(path.c_str(), text.data(), text.size(), flags, 0644, &e);
        if (!ok) errno = errnoOf(e);
        g_clear_error(&e);
        return ok;
    }
    // GLib writes out every file it replaces whole (the file and its folder: two syncs each),
    // which a batch synced once as a whole (the app-id index) cannot afford.
    size_t slash = path.find_last_of('/');
    std::string tmp = path.substr(0, slash + 1) + ".tmp-" + path.substr(slash + 1);
    ScopedFd fd(open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!fd.valid()) return false;
    bool ok = write(fd.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = fd.closeChecked() && ok;
    if (ok && rename(tmp.c_str(), path.c_str()) == 0) return true;
    int saved = errno;
    unlink(tmp.c_str());
    errno = saved;
    return false;
}

bool syncFileSystem(const std::string& path) {
    ScopedFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return fd.valid() && syncfs(fd.get()) == 0;
}

}  // namespace device
