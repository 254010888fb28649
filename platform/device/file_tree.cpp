// SPDX-License-Identifier: Apache-2.0
#include <vornix/device/files.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include <vornix/device/scoped_fd.h>

namespace device {

namespace {

bool failed(std::string* err, const std::string& why) {
    if (err) *err = why;
    return false;
}

std::string joined(const std::string& dir, const char* name) {
    return dir.empty() ? name : dir + "/" + name;
}

// A link may stay: relative, its leading ".." never climbing above the tree, and no
// ".." after a name (a name may itself be a link, and ".." then leaves from elsewhere).
bool staysInside(const std::string& target, int depth) {
    if (target.empty() || target[0] == '/') return false;
    bool down = false;
    size_t at = 0;
    while (at <= target.size()) {
        size_t end = target.find('/', at);
        if (end == std::string::npos) end = target.size();
        std::string part = target.substr(at, end - at);
        at = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (down || --depth < 0) return false;
        } else {
            down = true;
        }
    }
    return true;
}

// The installer's mode for what the package had as `mode`: 0755 for folders and files
// with any execute bit, 0644 for other files, no set-id or sticky bit; the group and
// others lose read where the package denied it.
mode_t installedMode(mode_t mode) {
    mode_t out = S_ISDIR(mode) || (mode & 0111) ? 0755 : 0644;
    if (!(mode & S_IRGRP)) out &= ~S_IRGRP;
    if (!(mode & S_IROTH)) out &= ~S_IROTH;
    return out;
}

// Empty when copied, otherwise why not. A file with another name, in the package or
// out of it, is refused: its content is not the package's to give.
std::string copyFile(int fromDir, int toDir, const char* name, std::vector<char>* buf) {
    ScopedFd in(openat(fromDir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!in.valid()) return strerror(errno);
    struct stat st;
    if (fstat(in.get(), &st) != 0) return strerror(errno);
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    if (st.st_nlink > 1) return "it has more than one link";
    ScopedFd out(openat(toDir, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    bool ok = out.valid();
    ssize_t n = 0;
    while (ok && (n = read(in.get(), buf->data(), buf->size())) > 0)
        for (ssize_t done = 0; ok && done < n;) {
            ssize_t w = write(out.get(), buf->data() + done, n - done);
            ok = w > 0;
            done += w;
        }
    ok = ok && n == 0 && fchmod(out.get(), installedMode(st.st_mode)) == 0;
    int saved = errno;
    in.reset();
    if (!out.closeChecked() && ok) ok = false, saved = errno;
    return ok ? "" : strerror(saved);
}

// Opens a folder to empty it, given write and search to its owner first when it lacks
// them (an app may make a folder of its own read-only); never follows a link.
int openToEmpty(int at, const char* name) {
    int fd = openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == EACCES && fchmodat(at, name, 0700, AT_SYMLINK_NOFOLLOW) == 0)
        fd = openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && (st.st_mode & 0300) != 0300)
        fchmod(fd, (st.st_mode & 07777) | 0700);
    return fd;
}

}  // namespace

bool copyTree(const std::string& from, const std::string& to, std::string* err) {
    struct Level {
        DIR* from;
        int to;
        std::string rel;  // inside the tree, "" at its top
        int depth;
    };
    int top = open(from.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* d = top < 0 ? nullptr : fdopendir(top);
    if (!d) {
        if (top >= 0) close(top);
        return failed(err, "cannot read " + from + ": " + strerror(errno));
    }
    int out = mkdir(to.c_str(), 0755) == 0
                  ? open(to.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                  : -1;
    if (out < 0) {
        closedir(d);
        return failed(err, "cannot create " + to + ": " + strerror(errno));
    }
    std::vector<Level> stack{{d, out, "", 0}};
    std::vector<char> buf(65536);
    std::string why;
    while (!stack.empty() && why.empty()) {
        Level& cur = stack.back();
        errno = 0;
        struct dirent* e = readdir(cur.from);
        if (!e) {
            if (errno) why = "cannot read " + joined(cur.rel, ".") + ": " + strerror(errno);
            closedir(cur.from);
            close(cur.to);
            stack.pop_back();
            continue;
        }
        const char* name = e->d_name;
        if (!strcmp(name, ".") || !strcmp(name, "..")) continue;
        std::string rel = joined(cur.rel, name);
        int fromFd = dirfd(cur.from);
        struct stat st;
        if (fstatat(fromFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            why = "cannot read " + rel + ": " + strerror(errno);
        } else if (S_ISDIR(st.st_mode)) {
            if (cur.depth + 1 > kMaxTreeDepth) {
                why = "folders nested more than " + std::to_string(kMaxTreeDepth) + " levels deep";
                break;
            }
            int in = openat(fromFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            DIR* sub = in < 0 ? nullptr : fdopendir(in);
            int made = mkdirat(cur.to, name, 0700) == 0
                           ? openat(cur.to, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                           : -1;
            if (made >= 0 && fchmod(made, installedMode(st.st_mode)) != 0) {
                close(made);
                made = -1;
            }
            if (!sub || made < 0) {
                why = (sub ? "cannot create " : "cannot read ") + rel + ": " + strerror(errno);
                if (sub)
                    closedir(sub);
                else if (in >= 0)
                    close(in);
                if (made >= 0) close(made);
            } else {
                int depth = cur.depth + 1;
                stack.push_back({sub, made, rel, depth});
            }
        } else if (S_ISLNK(st.st_mode)) {
            std::vector<char> target(PATH_MAX + 1);
            ssize_t n = readlinkat(fromFd, name, target.data(), target.size());
            if (n < 0 || n >= static_cast<ssize_t>(target.size()))
                why = "cannot read link " + rel;
            else if (!staysInside(std::string(target.data(), n), cur.depth))
                why = rel + " links out of the package";
            else if (symlinkat(std::string(target.data(), n).c_str(), cur.to, name) != 0)
                why = "cannot copy link " + rel + ": " + strerror(errno);
        } else if (S_ISREG(st.st_mode)) {
            std::string failed = copyFile(fromFd, cur.to, name, &buf);
            if (!failed.empty()) why = "cannot copy " + rel + ": " + failed;
        }
    }
    for (Level& l : stack) {
        closedir(l.from);
        close(l.to);
    }
    return why.empty() || failed(err, why);
}

bool removeTree(const std::string& path, std::string* err) {
    size_t slash = path.find_last_of('/');
    std::string parent = slash == std::string::npos ? "."
                         : slash == 0               ? "/"
                                                    : path.substr(0, slash);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    int up = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (up < 0)
        return errno == ENOENT || failed(err, "cannot remove " + path + ": " + strerror(errno));
    struct stat st;
    if (fstatat(up, base.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) {
        bool gone = unlinkat(up, base.c_str(), 0) == 0 || errno == ENOENT;
        int saved = errno;
        close(up);
        return gone || failed(err, "cannot remove " + path + ": " + strerror(saved));
    }
    // Open folders are capped: deeper than that, a parent is closed on the way down and
    // found again through ".." on the way up (its removed entries are then gone).
    const size_t kMaxOpen = 32;
    struct Level {
        std::string name;
        DIR* dir;
    };
    std::vector<Level> stack;
    int fd = openToEmpty(up, base.c_str());
    DIR* d = fd < 0 ? nullptr : fdopendir(fd);
    std::string why;
    if (!d) {
        if (fd >= 0) close(fd);
        why = strerror(errno);
    } else {
        stack.push_back({base, d});
    }
    size_t open = stack.size();
    while (!stack.empty() && why.empty()) {
        Level& cur = stack.back();
        errno = 0;
        struct dirent* e = readdir(cur.dir);
        if (e) {
            if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
            int at = dirfd(cur.dir);
            bool isDir = e->d_type == DT_DIR;
            if (e->d_type == DT_UNKNOWN)
                isDir =
                    fstatat(at, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
            if (!isDir) {
                if (unlinkat(at, e->d_name, 0) != 0 && errno != ENOENT) why = strerror(errno);
                continue;
            }
            int sub = openToEmpty(at, e->d_name);
            DIR* sd = sub < 0 ? nullptr : fdopendir(sub);
            if (!sd) {
                if (sub >= 0) close(sub);
                why = strerror(errno);
                continue;
            }
            std::string name = e->d_name;
            if (open >= kMaxOpen)
                for (Level& l : stack)
                    if (l.dir) {
                        closedir(l.dir);
                        l.dir = nullptr;
                        --open;
                        break;
                    }
            stack.push_back({name, sd});
            ++open;
            continue;
        }
        if (errno) {
            why = strerror(errno);
            continue;
        }
        // Empty now: remove it from its parent.
        int parentFd = up;
        if (stack.size() > 1) {
            Level& p = stack[stack.size() - 2];
            if (!p.dir) {
                int pfd = openat(dirfd(cur.dir), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                p.dir = pfd < 0 ? nullptr : fdopendir(pfd);
                if (!p.dir) {
                    if (pfd >= 0) close(pfd);
                    why = strerror(errno);
                    continue;
                }
                ++open;
            }
            parentFd = dirfd(p.dir);
        }
        std::string name = cur.name;
        closedir(cur.dir);
        stack.pop_back();
        --open;
        if (unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) != 0) why = strerror(errno);
    }
    for (Level& l : stack)
        if (l.dir) closedir(l.dir);
    close(up);
    return why.empty() || failed(err, "cannot remove " + path + ": " + why);
}

}  // namespace device
