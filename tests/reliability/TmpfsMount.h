// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace pemberlock::test {

// A tmpfs of the given size mounted on path (created if need be) for the
// life of the object. Needs root or CAP_SYS_ADMIN; Mounted() says whether
// it worked and Why() why not.
class TmpfsMount {
public:
    TmpfsMount(const std::string& path, std::size_t bytes) : path_(path) {
        std::filesystem::create_directories(path_);
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        if (::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0) {
            mounted_ = true;
        } else {
            why_ = std::strerror(errno);
        }
    }
    ~TmpfsMount() {
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Why() const { return why_; }
    std::string Path(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
    bool mounted_ = false;
    std::string why_;
};

}  // namespace pemberlock::test
