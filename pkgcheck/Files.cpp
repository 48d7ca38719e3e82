#include "pkgcheck/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#ifdef _WIN32
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
    // Read straight into a string of the file's size: appending blocks to a
    // growing string would copy a large list several times over and hold up
    // to twice its size.
    bytes->clear();
    long size = -1;
    if (std::fseek(file.get(), 0, SEEK_END) == 0) size = std::ftell(file.get());
    std::rewind(file.get());
    std::size_t filled = 0;
    if (size > 0) {
        bytes->resize(static_cast<std::size_t>(size));
        filled = std::fread(bytes->data(), 1, bytes->size(), file.get());
        bytes->resize(filled);
    }
    char block[16384];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, file.get())) > 0) bytes->append(block, got);
    if (std::ferror(file.get())) {
        *error = "read failed";
        return false;
    }
    return true;
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
