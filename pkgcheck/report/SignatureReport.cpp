#include "pkgcheck/report/SignatureReport.h"

#include "pkgcheck/catalog/Certificate.h"
#include "pkgcheck/read/Text.h"

namespace pkgcheck {
namespace {

void TextOrNull(JsonWriter& json, const std::string& text) {
    if (text.empty())
        json.Null();
    else
        json.String(text);
}

const char* TakenAsText(const std::string& takenAs) {
    if (takenAs == "driver-signing") return "signed by Microsoft's driver signing";
    if (takenAs == "publisher") return "signed by another publisher, which it takes as unsigned";
    return "unsigned";
}

}  // namespace

void WriteSignatureJson(JsonWriter& json, const CatalogCheck& c) {
    const SignatureVerdict& v = c.verdict;
    if (!v.present) return void(json.Null());
    json.BeginObject().Key("verified").Bool(v.verified).Key("problem");
    TextOrNull(json, v.verified ? "" : v.problem);
    json.Key("digestAlgorithm").String(v.digestAlgorithm).Key("signer");
    TextOrNull(json, v.signer);
    json.Key("chain").BeginArray();
    for (const ChainLink& link : v.chain) {
        json.BeginObject().Key("subject").String(link.subject).Key("issuer").String(link.issuer);
        json.Key("notBefore").String(TimeText(link.notBefore));
        json.Key("notAfter").String(TimeText(link.notAfter));
        json.Key("signatureDigest").String(link.signatureDigest);
        json.Key("trustedRoot").Bool(link.trustedRoot).EndObject();
    }
    json.EndArray().Key("root");
    TextOrNull(json, v.root);
    json.Key("driverSigning").Bool(v.driverSigning).Key("timestamp");
    TextOrNull(json, v.hasTimestamp ? TimeText(v.timestamp) : "");
    json.EndObject();
}

void WriteSystemsJson(JsonWriter& json, const CatalogCheck& c) {
    json.BeginArray();
    for (const SystemVerdict& s : c.systems) {
        json.BeginObject().Key("system").String(s.system).Key("takenAs").String(s.takenAs);
        json.Key("reason");
        TextOrNull(json, s.reason);
        json.Key("consequence").String(s.consequence).EndObject();
    }
    json.EndArray();
}

std::string SignatureText(const CatalogCheck& c) {
    const SignatureVerdict& v = c.verdict;
    std::string out;
    if (!v.present) {
        out += "  signature: none (no signer infos)\n";
    } else {
        out += "  signature: " +
               (v.verified ? std::string("verified") : "NOT VERIFIED: " + v.problem) + "\n";
        out +=
            "    signer: " + (v.signer.empty() ? std::string("(not in the catalog)") : v.signer) +
            ", digest " + v.digestAlgorithm + "\n";
        for (const ChainLink& link : v.chain)
            out += "    chain: " + link.subject + (link.trustedRoot ? " (trusted root)" : "") +
                   ", " + link.signatureDigest + ", valid " + TimeText(link.notBefore) + " to " +
                   TimeText(link.notAfter) + "\n";
        out += "    root: " + (v.root.empty() ? std::string("none reached") : v.root) +
               (v.driverSigning ? "; Microsoft's driver signing" : "") + "\n";
        out +=
            "    timestamp: " +
            (v.hasTimestamp ? TimeText(v.timestamp) : std::string("none (validity checked now)")) +
            "\n";
    }
    for (const SystemVerdict& s : c.systems)
        out += "  " + s.system + ": " + TakenAsText(s.takenAs) +
               (s.reason.empty() ? "" : " (" + s.reason + ")") + "; " + s.consequence + "\n";
    if (!c.systems.empty()) out += std::string("  (source: ") + kUnsignedSource + ")\n";
    return out;
}

std::string SignatureSummary(const std::vector<CatalogCheck>& catalogs,
                             const std::string& architecture) {
    for (const CatalogCheck& c : catalogs) {
        if (c.architecture != architecture || c.systems.empty()) continue;
        std::string line;
        for (const char* takenAs : {"driver-signing", "publisher", "unsigned"}) {
            std::vector<std::string> names;
            for (const SystemVerdict& s : c.systems)
                if (s.takenAs == takenAs) names.push_back(s.system);
            if (names.empty()) continue;
            line += (line.empty() ? "" : "; ") + Enumerated(names, "and") + ": " +
                    TakenAsText(takenAs) +
                    (std::string(takenAs) == "driver-signing"
                         ? ", no box"
                         : ", a box asks before the driver installs (unattended, it waits for a "
                           "click), and under the Block policy the installation fails");
        }
        return "  The driver on " + line + "\n";
    }
    return "";
}

}  // namespace pkgcheck
