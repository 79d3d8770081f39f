#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

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
    std::optional<std::uint64_t> size() const override {
        struct stat info {};
        if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
        return static_cast<std::uint64_t>(info.st_size);
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

void guardStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number: this one, as those below it are open.
        const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) {
            dup2(null, fd);
            close(null);
        }
    }
}

texts::Language userLanguage() {
    const auto setting = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string_view(value ? value : "");
    };
    return texts::languageOfSettings(setting("LC_ALL"), setting("LC_MESSAGES"), setting("LANG"),
                                     setting("LANGUAGE"));
}

bool errorIsTerminal() {
    return isatty(2) == 1;
}

bool outputIsTerminal() {
    return isatty(1) == 1;
}

namespace {

class FdOutputFile : public OutputFile {
  public:
    FdOutputFile(std::string path, std::string part)
        : path_(std::move(path)), part_(std::move(part)) {}
    ~FdOutputFile() override {
        if (!committed_) unlink(part_.c_str());
    }
    bool commit() override {
        committed_ = true;
        // Every byte went out through write(): nothing is buffered above the descriptor.
        if (fsync(1) != 0 && errno != EINVAL) {
            unlink(part_.c_str());
            return false;
        }
        if (std::rename(part_.c_str(), path_.c_str()) != 0) {
            unlink(part_.c_str());
            return false;
        }
        return true;
    }

  private:
    std::string path_, part_;
    bool committed_ = false;
};

// Nothing to rename: the bytes went where they go.
class DeviceOutput : public OutputFile {
  public:
    bool commit() override { return true; }
};

}  // namespace

std::unique_ptr<OutputFile> OutputFile::open(const std::string& path, OpenError& error) {
    error = OpenError::None;
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = OpenError::Folder;
        return nullptr;
    }
    // A device or a pipe (/dev/null, /dev/stdout, a FIFO) is written to as it is: a rename
    // would put a plain file in its place.
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) {
            error = errorOf(errno);
            return nullptr;
        }
        if (fd != 1) {
            dup2(fd, 1);
            close(fd);
        }
        return std::make_unique<DeviceOutput>();
    }
    // Beside the file, so that the rename stays on its file system; the mode the umask
    // gives a new file, as the shell's > would.
    const std::string part = path + "." + std::to_string(getpid()) + ".part";
    const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = errorOf(errno);
        return nullptr;
    }
    dup2(fd, 1);
    close(fd);
    return std::make_unique<FdOutputFile>(path, part);
}

std::vector<std::string> expandOperand(const std::string& operand) {
    return {operand};
}

bool pathExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
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

}  // namespace cli
