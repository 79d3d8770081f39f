#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "app/cli/os.h"

namespace cli {
namespace {

OpenError errorOf(int code) {
    switch (code) {
        case ENOENT:
        case ENOTDIR:
            return OpenError::Missing;
        case EACCES:
        case EPERM:
            return OpenError::Denied;
        case EISDIR:
            return OpenError::Folder;
        default:
            return OpenError::Other;
    }
}

class FdInput : public Input {
  public:
    FdInput(int fd, bool owned) : fd_(fd), owned_(owned) {}
    ~FdInput() override {
        if (owned_) close(fd_);
    }
    std::ptrdiff_t read(char* buffer, std::size_t size) override {
        while (true) {
            const ssize_t got = ::read(fd_, buffer, size);
            if (got >= 0 || errno != EINTR) return got;
        }
    }

  private:
    int fd_;
    bool owned_;
};

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = write(fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

}  // namespace

std::unique_ptr<Input> openInput(const std::string& path, OpenError& error) {
    error = OpenError::None;
    if (path == "-") return std::make_unique<FdInput>(0, false);
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errorOf(errno);
        return nullptr;
    }
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        error = OpenError::Folder;
        return nullptr;
    }
    return std::make_unique<FdInput>(fd, true);
}

namespace {

std::optional<Mapped> viewOf(const std::shared_ptr<const int>& fd, std::size_t size) {
    void* at = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, *fd, 0);
    if (at == MAP_FAILED) return std::nullopt;
    std::shared_ptr<const void> owner(
        at, [size](const void* p) { munmap(const_cast<void*>(p), size); });
    return Mapped{std::string_view(static_cast<const char*>(at), size), std::move(owner),
                  [fd, size] { return viewOf(fd, size); }};
}

}  // namespace

std::optional<Mapped> mapFile(const std::string& path, OpenError& error) {
    error = OpenError::None;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errorOf(errno);
        return std::nullopt;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? OpenError::Folder : OpenError::Other;
        close(fd);
        return std::nullopt;
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    if (size == 0) {
        close(fd);
        return Mapped{};  // nothing to map; the reader refuses it with its own reason
    }
    // The file stays open while a view may still be asked for.
    const std::shared_ptr<const int> descriptor(new int(fd), [](const int* p) {
        close(*p);
        delete p;
    });
    std::optional<Mapped> view = viewOf(descriptor, size);
    if (!view) error = OpenError::Other;
    return view;
}

bool writeOutput(std::string_view utf8) {
    return writeAll(1, utf8);
}

void writeError(std::string_view utf8) {
    writeAll(2, utf8);
}

std::string programFolder() {
    std::string path(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0) return {};
    path.resize(static_cast<std::size_t>(length));
    return path.substr(0, path.rfind('/') + 1);
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return names;
    while (const dirent* entry = readdir(dir)) {
        struct stat st {};
        const std::string name = entry->d_name;
        if (stat((folder + name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(name);
    }
    closedir(dir);
    return names;
}

std::vector<std::string> arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

bool writeFile(const std::string& path, std::string_view bytes) {
    const std::string part = path + ".part";
    const int fd = open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool ok = true;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    ok = close(fd) == 0 && ok;
    if (ok && rename(part.c_str(), path.c_str()) == 0) return true;
    unlink(part.c_str());
    return false;
}

}  // namespace cli
