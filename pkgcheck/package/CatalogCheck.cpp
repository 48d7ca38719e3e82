#include "pkgcheck/package/CatalogCheck.h"

#include <unordered_map>

#include "pkgcheck/catalog/Catalog.h"
#include "pkgcheck/catalog/FileHash.h"
#include "pkgcheck/catalog/Sha1.h"
#include "pkgcheck/read/Files.h"
#include "pkgcheck/read/Text.h"
#include "pkgcheck/read/Unpack.h"

namespace pkgcheck {
namespace {

// An OSAttr item, "2:5.1", as the numbers it holds: Windows 2000's own
// catalogs write "2:5.00", which is 5.0. False when it is no such item.
bool ReadSystem(std::string_view item, unsigned (&numbers)[3]) {
    std::size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        if (at >= item.size() || item[at] < '0' || item[at] > '9') return false;
        numbers[i] = 0;
        for (; at < item.size() && item[at] >= '0' && item[at] <= '9'; ++at)
            if (numbers[i] < 100000) numbers[i] = numbers[i] * 10 + unsigned(item[at] - '0');
        if (i < 2 && (at >= item.size() || item[at] != (i == 0 ? ':' : '.'))) return false;
        ++at;
    }
    return at >= item.size();
}

bool SameSystem(std::string_view item, std::string_view system) {
    unsigned a[3];
    unsigned b[3];
    if (!ReadSystem(item, a) || !ReadSystem(system, b)) return item == system;
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

// The bytes with each line feed that no carriage return precedes made CR LF.
std::string WithCrLf(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 16);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) out += '\r';
        out += bytes[i];
    }
    return out;
}

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
        out_.version = catalog_.version;
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
        JudgeSignature(bytes);
    }

private:
    // Its sources, and what stays unsourced, are beside kUnsignedSource
    // (pkgcheck/package/CatalogSignature.h).
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

    void JudgeSignature(std::string_view bytes) {
        SignatureJudgement judged = JudgeCatalogSignature(
            bytes, catalog_.version, out_.catalog, request_.architecture, request_.systems,
            NamedByCatalog(), Covered(), request_.trust != nullptr ? *request_.trust : microsoft_,
            request_.now);
        out_.verdict = std::move(judged.verdict);
        out_.systems = std::move(judged.systems);
        for (Finding& f : judged.errors) {
            f.severity = Severity::Error;
            f.scope = request_.scope;
            out_.errors.push_back(std::move(f));
        }
        for (Finding& f : judged.warnings) {
            f.scope = request_.scope;
            out_.warnings.push_back(std::move(f));
        }
    }

    std::string Served() const {
        return Enumerated(request_.systems, "and") + " (" + request_.served + ")";
    }

    // An OSAttr value, "2:5.0,2:5.1", names one of the systems served; an
    // empty one names none and restricts nothing.
    bool NamesServed(const std::string& osAttr) const {
        if (osAttr.empty()) return true;
        for (const std::string& system : request_.systems)
            if (Names(osAttr, system)) return true;
        return false;
    }

    static bool Names(const std::string& osAttr, const std::string& system) {
        for (const std::string_view item : Split(osAttr, ','))
            if (SameSystem(TrimBlanks(item), system)) return true;
        return false;
    }

    bool Covered() const {
        for (const CatalogFileState& file : out_.files)
            if (file.state != MemberState::Member) return false;
        return true;
    }

    // The served systems that the catalog's own OSAttr and that of each
    // member found name; an empty one restricts nothing.
    std::vector<std::string> NamedByCatalog() const {
        std::vector<std::string> named;
        for (const std::string& system : request_.systems) {
            bool all = catalog_.osAttr.empty() || Names(catalog_.osAttr, system);
            for (const std::string& osAttr : memberOsAttrs_) all = all && Names(osAttr, system);
            if (all) named.push_back(system);
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
        const CatalogMember* member = Find(byTag_, state.hash);
        // Windows finds the member by its tag and then compares the digest
        // the member holds, which the signature covers.
        if (member != nullptr && !member->digest.empty() &&
            (member->algorithm.empty() || member->algorithm == kOidSha1) &&
            HexDigest(member->digest) != state.hash) {
            state.state = MemberState::Changed;
            return Error(KindOf(state.state), file.shown,
                         "is listed in " + out_.catalog + " under the tag " + state.hash +
                             ", but that member's digest is " + HexDigest(member->digest) +
                             ": the catalog was changed, and " + request_.served +
                             " take the file as unsigned" + kAsked);
        }
        if (member != nullptr) {
            state.state = MemberState::Member;
            if (!member->osAttr.empty()) memberOsAttrs_.push_back(member->osAttr);
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
        const std::string crLf = CrLfWouldDo(file, bytes, hash.image);
        if (named != nullptr) {
            state.state = MemberState::Changed;
            return Error(KindOf(state.state), file.shown,
                         "changed after the catalog was made: " + out_.catalog + " lists " +
                             named->file + " by the hash " + named->tag + ", and " + its + " now" +
                             crLf + notFound);
        }
        if (!crLf.empty()) {
            state.state = MemberState::Changed;
            return Error(KindOf(state.state), file.shown,
                         "changed after the catalog was made: " + its + crLf + notFound);
        }
        state.state = MemberState::NoMember;
        std::string why;
        if (!catalog_.members.empty() && !sha1Members_)
            why = " (its members carry other hashes than SHA-1, which " + request_.served +
                  " do not look up)";
        Error(KindOf(state.state), file.shown,
              "is no member of " + out_.catalog + why + ": " + its + notFound);
    }

    // Line ends lost in a checkout are the commonest change of an INF.
    std::string CrLfWouldDo(const CatalogSubject& file, std::string_view bytes, bool image) const {
        if (image || &file != &request_.files.front()) return "";
        const std::string crLf = WithCrLf(bytes);
        if (crLf.size() == bytes.size() || Find(byTag_, HexDigest(Sha1Of(crLf))) == nullptr)
            return "";
        return "; with CR LF line ends it would be a member: its line ends were changed (a "
               "checkout that turns CR LF into LF does this; .gitattributes \"*.inf -text\" "
               "keeps them)";
    }

    const CatalogRequest& request_;
    CatalogCheck& out_;
    Catalog catalog_;
    std::unordered_map<std::string, std::size_t> byTag_;   // first member of each tag
    std::unordered_map<std::string, std::size_t> byFile_;  // by File name, upper case
    TrustStore microsoft_ = TrustStore::Microsoft();       // when the request gives none
    std::vector<std::string> memberOsAttrs_;               // of the members found, when not empty
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
