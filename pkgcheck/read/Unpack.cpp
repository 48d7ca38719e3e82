#include "pkgcheck/read/Unpack.h"

#include <cstring>
#include <memory>

#ifdef PKGCHECK_WITH_MSPACK
#include <mspack.h>
#endif

#include "pkgcheck/read/Files.h"
#include "pkgcheck/read/Text.h"

namespace pkgcheck {

#ifdef PKGCHECK_WITH_MSPACK
namespace {

// libmspack reads and writes through a table of file functions, and passes
// the "file names" it is given to them unchanged: here they point to these
// records, so nothing touches the disk.
struct MemoryFile {
    std::string_view in;
    std::string* out;  // null: read only
};
struct Cursor {
    MemoryFile* file;
    std::size_t at;
};

mspack_file* Open(mspack_system*, const char* name, int mode) {
    MemoryFile* file = reinterpret_cast<MemoryFile*>(const_cast<char*>(name));
    if (mode != MSPACK_SYS_OPEN_READ && file->out == nullptr) return nullptr;
    if (mode == MSPACK_SYS_OPEN_WRITE) file->out->clear();
    return reinterpret_cast<mspack_file*>(new Cursor{file, 0});
}
void Close(mspack_file* file) { delete reinterpret_cast<Cursor*>(file); }
int Read(mspack_file* file, void* buffer, int bytes) {
    Cursor& c = *reinterpret_cast<Cursor*>(file);
    if (bytes < 0) return -1;
    const std::size_t n = std::min<std::size_t>(
        static_cast<std::size_t>(bytes), c.file->in.size() - std::min(c.at, c.file->in.size()));
    if (n > 0) std::memcpy(buffer, c.file->in.data() + c.at, n);
    c.at += n;
    return static_cast<int>(n);
}
int Write(mspack_file* file, void* buffer, int bytes) {
    Cursor& c = *reinterpret_cast<Cursor*>(file);
    if (bytes < 0 || c.file->out == nullptr) return -1;
    c.file->out->append(static_cast<const char*>(buffer), static_cast<std::size_t>(bytes));
    return bytes;
}
int Seek(mspack_file* file, off_t offset, int mode) {
    Cursor& c = *reinterpret_cast<Cursor*>(file);
    const off_t base = mode == MSPACK_SYS_SEEK_START ? 0
                       : mode == MSPACK_SYS_SEEK_CUR ? static_cast<off_t>(c.at)
                                                     : static_cast<off_t>(c.file->in.size());
    const off_t to = base + offset;
    if (to < 0 || static_cast<std::size_t>(to) > c.file->in.size()) return -1;
    c.at = static_cast<std::size_t>(to);
    return 0;
}
off_t Tell(mspack_file* file) { return static_cast<off_t>(reinterpret_cast<Cursor*>(file)->at); }
void Message(mspack_file*, const char*, ...) {}
void* Alloc(mspack_system*, size_t bytes) { return ::operator new(bytes, std::nothrow); }
void Free(void* block) { ::operator delete(block); }
void Copy(void* from, void* to, size_t bytes) { std::memmove(to, from, bytes); }

mspack_system kMemory = {Open, Close, Read, Write, Seek, Tell, Message, Alloc, Free, Copy, nullptr};

const char* Name(MemoryFile* file) { return reinterpret_cast<const char*>(file); }

std::string ErrorText(int code) {
    switch (code) {
        case MSPACK_ERR_SIGNATURE:
            return "it is no cabinet";
        case MSPACK_ERR_READ:
        case MSPACK_ERR_SEEK:
            return "it ends too soon";
        case MSPACK_ERR_DATAFORMAT:
            return "its headers are broken";
        case MSPACK_ERR_CHECKSUM:
            return "a block's checksum is wrong";
        case MSPACK_ERR_DECRUNCH:
            return "its compressed data are broken";
        case MSPACK_ERR_NOMEMORY:
            return "no memory to unpack it";
        default:
            return "libmspack error " + std::to_string(code);
    }
}

std::string_view BaseName(std::string_view path) {
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

struct CabDeleter {
    void operator()(mscab_decompressor* d) const { mspack_destroy_cab_decompressor(d); }
};

// The first member `pick` takes, unpacked.
template <typename Pick>
UnpackResult FromCabinet(std::string_view cabinet, Pick pick, std::string* bytes,
                         std::string* error) {
    std::unique_ptr<mscab_decompressor, CabDeleter> cabd(mspack_create_cab_decompressor(&kMemory));
    if (!cabd) return *error = "no memory to unpack it", UnpackResult::Failed;
    MemoryFile in{cabinet, nullptr};
    mscabd_cabinet* cab = cabd->open(cabd.get(), Name(&in));
    if (cab == nullptr)
        return *error = ErrorText(cabd->last_error(cabd.get())), UnpackResult::Failed;
    mscabd_file* chosen = nullptr;
    for (mscabd_file* f = cab->files; f != nullptr && chosen == nullptr; f = f->next)
        if (pick(f)) chosen = f;
    UnpackResult result = UnpackResult::Failed;
    if (chosen == nullptr) {
        *error = "it holds no such file";
    } else {
        MemoryFile out{{}, bytes};
        const int code = cabd->extract(cabd.get(), chosen, Name(&out));
        if (code == MSPACK_ERR_OK)
            result = UnpackResult::Unpacked;
        else
            *error = ErrorText(code);
    }
    cabd->close(cabd.get(), cab);
    return result;
}

UnpackResult FromSzdd(std::string_view compressed, std::string* bytes, std::string* error) {
    msszdd_decompressor* szdd = mspack_create_szdd_decompressor(&kMemory);
    if (!szdd) return *error = "no memory to unpack it", UnpackResult::Failed;
    MemoryFile in{compressed, nullptr};
    MemoryFile out{{}, bytes};
    const int code = szdd->decompress(szdd, Name(&in), Name(&out));
    mspack_destroy_szdd_decompressor(szdd);
    if (code == MSPACK_ERR_OK) return UnpackResult::Unpacked;
    *error = ErrorText(code);
    return UnpackResult::Failed;
}

}  // namespace

UnpackResult CabinetMember(std::string_view cabinet, std::string_view member, std::string* bytes,
                           std::string* error) {
    return FromCabinet(
        cabinet,
        [&](const mscabd_file* f) { return EqualsIgnoringCase(BaseName(f->filename), member); },
        bytes, error);
}

// The signatures of a cabinet and of the SZDD form
// (learn.microsoft.com/windows/win32/api/setupapi/nf-setupapi-setupgetfilecompressioninfoexa:
// FILE_COMPRESSION_MSZIP and _WINLZA).
UnpackResult Expand(std::string_view compressed, std::string* bytes, std::string* error) {
    if (compressed.substr(0, 4) == "MSCF")
        return FromCabinet(
            compressed, [](const mscabd_file*) { return true; }, bytes, error);
    if (compressed.substr(0, 4) == "SZDD") return FromSzdd(compressed, bytes, error);
    bytes->assign(compressed);
    return UnpackResult::Unpacked;
}

#else

UnpackResult CabinetMember(std::string_view, std::string_view, std::string*, std::string* error) {
    *error = "this build of pkgcheck has no libmspack to unpack cabinets";
    return UnpackResult::NotInThisBuild;
}

UnpackResult Expand(std::string_view compressed, std::string* bytes, std::string* error) {
    if (compressed.substr(0, 4) != "MSCF" && compressed.substr(0, 4) != "SZDD") {
        bytes->assign(compressed);
        return UnpackResult::Unpacked;
    }
    *error = "this build of pkgcheck has no libmspack to expand compressed files";
    return UnpackResult::NotInThisBuild;
}

#endif

UnpackResult ReadAsCopied(const std::string& path, const std::string& member, bool compressed,
                          std::string* bytes, std::string* error) {
    std::string packed;
    if (!ReadFileBytes(path, member.empty() && !compressed ? bytes : &packed, error)) {
        *error = "cannot read " + path + ": " + *error;
        return UnpackResult::Unreadable;
    }
    if (!member.empty()) return CabinetMember(packed, member, bytes, error);
    if (compressed) return Expand(packed, bytes, error);
    return UnpackResult::Unpacked;
}

}  // namespace pkgcheck
