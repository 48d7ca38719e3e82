#include "pkgcheck/read/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace pkgcheck {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

}  // namespace

#ifdef _WIN32

EntryType TypeOf(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return EntryType::Missing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryType::Directory : EntryType::File;
}

bool ListDirectory(const std::string& dir, std::vector<std::string>* names) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(JoinPath(dir, "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names->push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return true;
}

#else

EntryType TypeOf(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return EntryType::Missing;
    if (S_ISREG(status.st_mode)) return EntryType::File;
    if (S_ISDIR(status.st_mode)) return EntryType::Directory;
    return EntryType::Other;
}

bool ListDirectory(const std::string& dir, std::vector<std::string>* names) {
    std::unique_ptr<DIR, int (*)(DIR*)> stream(opendir(dir.c_str()), closedir);
    if (!stream) return false;
    while (const dirent* entry = readdir(stream.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names->push_back(name);
    }
    return true;
}

#endif

namespace {

bool ReadStream(std::FILE* file, std::string* bytes, std::string* error) {
    bytes->clear();
    // A regular file is read straight into a block of its own size, so a
    // large one passes through no ever larger copies.
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        std::rewind(file);
        if (size > 0) {
            bytes->resize(static_cast<std::size_t>(size));
            bytes->resize(std::fread(bytes->data(), 1, bytes->size(), file));
        }
    }
    char block[65536];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes->append(block, got);
    if (std::ferror(file)) {
        *error = "read failed";
        return false;
    }
    return true;
}

}  // namespace

bool ReadFileBytes(const std::string& path, std::string* bytes, std::string* error) {
    if (TypeOf(path) == EntryType::Directory) {
        *error = "is a directory";
        return false;
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        *error = std::strerror(errno);
        return false;
    }
    return ReadStream(file.get(), bytes, error);
}

bool ReadStandardInput(std::string* bytes, std::string* error) {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    return ReadStream(stdin, bytes, error);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (IsSeparator(dir.back())) return dir + name;
#ifdef _WIN32
    return dir + "\\" + name;
#else
    return dir + "/" + name;
#endif
}

}  // namespace pkgcheck
