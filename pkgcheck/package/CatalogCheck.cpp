#include "pkgcheck/package/CatalogCheck.h"

#include <unordered_map>

#include "pkgcheck/catalog/Catalog.h"
#include "pkgcheck/catalog/FileHash.h"
#include "pkgcheck/read/Files.h"
#include "pkgcheck/read/Text.h"
#include "pkgcheck/read/Unpack.h"

namespace pkgcheck {
namespace {

// The name a path ends in.
std::string_view BaseName(std::string_view path) {
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

class CatalogChecker {
public:
    CatalogChecker(const CatalogRequest& request, CatalogCheck& out)
        : request_(request), out_(out) {}

    void Run() {
        out_.architecture = request_.architecture;
        out_.catalog = request_.catalog.shown;
        std::string bytes;
        std::string error;
        if (!ReadFileBytes(request_.catalog.path, &bytes, &error))
            return Error("catalog-unreadable", out_.catalog,
                         "cannot read " + request_.catalog.path + ": " + error);
        catalog_ = ReadCatalog(bytes);
        if (!catalog_.error.empty())
            return Error("catalog-unreadable", out_.catalog,
                         "is no catalog that " + request_.served + " read (" + catalog_.error +
                             "): they take every file of the package as unsigned" + kAsked);
        out_.read = true;
        out_.signature = catalog_.signers > 0;
        out_.members = catalog_.members.size();
        for (std::size_t i = 0; i < catalog_.members.size(); ++i) {
            const CatalogMember& m = catalog_.members[i];
            byTag_.emplace(m.tag, i);
            const bool sha1 = m.algorithm.empty() || m.algorithm == kOidSha1;
            sha1Members_ |= sha1;
            // A catalog for old and new systems alike names a file twice, by
            // SHA-1 and by SHA-256; the SHA-1 member is the one that counts.
            if (m.file.empty()) continue;
            const auto named = byFile_.emplace(UpperAscii(m.file), i);
            if (!named.second && sha1 &&
                catalog_.members[named.first->second].algorithm != kOidSha1)
                named.first->second = i;
        }
        if (!NamesServed(catalog_.osAttr))
            Warn("catalog-systems", out_.catalog,
                 "names the systems " + catalog_.osAttr + " (OSAttr), none of " + Served() +
                     kOtherSystems);
        for (const CatalogSubject& file : request_.files) Check(file);
    }

private:
    static constexpr const char* kAsked =
        "; XP asks whether to install software that has not passed Windows Logo testing, and "
        "where policy blocks unsigned drivers the installation fails";
    static constexpr const char* kOtherSystems =
        ", which the INF serves: the catalog is made for other systems, and these take the "
        "package as unsigned";

    void Error(const char* kind, const std::string& file, std::string message) {
        out_.errors.push_back(
            {kind, file, 0, 0, std::move(message), Severity::Error, request_.scope});
    }
    void Warn(const char* kind, const std::string& file, std::string message) {
        out_.warnings.push_back(
            {kind, file, 0, 0, std::move(message), Severity::Warning, request_.scope});
    }

    std::string Served() const {
        return Enumerated(request_.systems, "and") + " (" + request_.served + ")";
    }

    // An OSAttr value, "2:5.0,2:5.1", names one of the systems served; an
    // empty one names none and restricts nothing.
    bool NamesServed(const std::string& osAttr) const {
        if (osAttr.empty()) return true;
        bool named = false;
        std::size_t begin = 0;
        while (begin <= osAttr.size() && !named) {
            std::size_t end = osAttr.find(',', begin);
            if (end == std::string::npos) end = osAttr.size();
            const std::string_view item =
                TrimBlanks(std::string_view(osAttr).substr(begin, end - begin));
            for (const std::string& system : request_.systems) named |= item == system;
            begin = end + 1;
        }
        return named;
    }

    const CatalogMember* Find(const std::unordered_map<std::string, std::size_t>& index,
                              const std::string& key) const {
        const auto found = index.find(key);
        return found == index.end() ? nullptr : &catalog_.members[found->second];
    }

    void Check(const CatalogSubject& file) {
        CatalogFileState& state = out_.files.emplace_back();
        state.file = file.member.empty() ? file.shown : file.shown + "\\" + file.member;
        std::string bytes;
        std::string error;
        switch (ReadAsCopied(file.path, file.member, file.compressed, &bytes, &error)) {
            case UnpackResult::Unpacked:
                break;
            case UnpackResult::Unreadable:
                state.state = MemberState::Unreadable;
                return Error("unreadable", file.shown, error);
            default:
                // Windows looks up the file it copies, not its packed form.
                state.state = MemberState::NotUnpacked;
                return Warn(KindOf(state.state), file.shown,
                            (file.member.empty() ? "holds " + file.name + " compressed"
                                                 : "holds " + file.member) +
                                ", which cannot be unpacked here (" + error + "): whether " +
                                out_.catalog + " holds it is not checked");
        }
        const FileHash hash = HashAsWindows(bytes);
        state.image = hash.image;
        state.hash = HexDigest(hash.hash);
        const std::string kindOfHash = hash.image ? "image hash" : "SHA-1";
        const std::string its = "its " + kindOfHash + " is " + state.hash;
        if (const CatalogMember* member = Find(byTag_, state.hash)) {
            state.state = MemberState::Member;
            if (!NamesServed(member->osAttr))
                Warn("catalog-systems", file.shown,
                     "is a member of " + out_.catalog + " for the systems " + member->osAttr +
                         " (OSAttr), none of " + Served() + kOtherSystems);
            return;
        }
        const CatalogMember* named =
            Find(byFile_, UpperAscii(file.name.empty() ? BaseName(file.shown) : file.name));
        const std::string notFound = ": " + request_.served + " do not find it in the catalog" +
                                     " and take it as unsigned" + kAsked;
        if (hash.image && Find(byTag_, HexDigest(hash.flat)) != nullptr) {
            state.state = MemberState::FlatHash;
            return Error(KindOf(state.state), file.shown,
                         "is listed in " + out_.catalog +
                             " by the SHA-1 of all its bytes, but Windows looks a PE image up "
                             "by its image hash (without its checksum and certificate table), " +
                             state.hash + notFound);
        }
        // Another hash for catalog look-ups came with Windows 8, and SHA-1 is
        // still its default:
        // https://learn.microsoft.com/en-us/windows/win32/api/mscat/nf-mscat-cryptcatadminacquirecontext2
        if (named != nullptr && !named->algorithm.empty() && named->algorithm != kOidSha1) {
            state.state = MemberState::Algorithm;
            return Error(KindOf(state.state), file.shown,
                         "is listed in " + out_.catalog + " by its " +
                             AlgorithmName(named->algorithm) + " hash only; " + request_.served +
                             " look a file up by its SHA-1 alone" + notFound);
        }
        // Any change of a file after signing, a byte in the INF included,
        // leaves it out of the signature:
        // https://learn.microsoft.com/en-us/windows-hardware/drivers/install/catalog-files
        if (named != nullptr) {
            state.state = MemberState::Changed;
            return Error(KindOf(state.state), file.shown,
                         "changed after the catalog was made: " + out_.catalog + " lists " +
                             named->file + " by the hash " + named->tag + ", and " + its + " now" +
                             notFound);
        }
        state.state = MemberState::NoMember;
        std::string why;
        if (!catalog_.members.empty() && !sha1Members_)
            why = " (its members carry other hashes than SHA-1, which " + request_.served +
                  " do not look up)";
        Error(KindOf(state.state), file.shown,
              "is no member of " + out_.catalog + why + ": " + its + notFound);
    }

    const CatalogRequest& request_;
    CatalogCheck& out_;
    Catalog catalog_;
    std::unordered_map<std::string, std::size_t> byTag_;   // first member of each tag
    std::unordered_map<std::string, std::size_t> byFile_;  // by File name, upper case
    bool sha1Members_ = false;                             // some member is looked up by SHA-1
};

}  // namespace

const char* KindOf(MemberState state) {
    switch (state) {
        case MemberState::Member:
            return "member";
        case MemberState::Unreadable:
            return "unreadable";
        case MemberState::NoMember:
            return "catalog-no-member";
        case MemberState::Changed:
            return "catalog-changed";
        case MemberState::FlatHash:
            return "catalog-flat-hash";
        case MemberState::Algorithm:
            return "catalog-algorithm";
        case MemberState::NotUnpacked:
            return "catalog-not-unpacked";
    }
    return "";
}

CatalogCheck CheckCatalogMembers(const CatalogRequest& request) {
    CatalogCheck check;
    CatalogChecker(request, check).Run();
    return check;
}

std::optional<CatalogRequest> CatalogRequestFor(const Payload& payload, const CatalogSubject& inf,
                                                const std::string& architecture,
                                                const std::vector<std::string>& systems,
                                                const std::string& served) {
    if (!payload.catalog || payload.catalog->found.empty()) return std::nullopt;
    CatalogRequest request;
    request.architecture = architecture;
    request.scope = payload.scope;
    request.catalog = {payload.catalog->found, payload.catalog->path};
    request.files.push_back(inf);
    for (const PayloadFile& file : payload.files)
        if (!file.found.empty())
            request.files.push_back(
                {file.found, file.path, file.name, file.member, file.compressed});
    request.systems = systems;
    request.served = served;
    return request;
}

}  // namespace pkgcheck
