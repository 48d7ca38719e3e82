#pragma once
// The catalog's signature in the reports: the verdict, the chain, and how
// each served system takes the package.

#include <string>
#include <vector>

#include "pkgcheck/package/CatalogCheck.h"
#include "pkgcheck/report/Json.h"

namespace pkgcheck {

// `catalogs[].signature`: null without signer infos, else the verdict.
void WriteSignatureJson(JsonWriter& json, const CatalogCheck& catalog);
// `catalogs[].systems`: each served system's verdict.
void WriteSystemsJson(JsonWriter& json, const CatalogCheck& catalog);

// The lines of the text report, each ending in a line feed.
std::string SignatureText(const CatalogCheck& catalog);

// For the dry run: how the systems of one architecture take the package,
// grouped, as one line ending in a line feed; empty without its catalog.
std::string SignatureSummary(const std::vector<CatalogCheck>& catalogs,
                             const std::string& architecture);

}  // namespace pkgcheck
