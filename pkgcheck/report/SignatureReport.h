#pragma once
// The catalog's signature in the reports: the verdict, the chain, and how
// each served system takes the package.

#include <string>

#include "pkgcheck/package/CatalogCheck.h"
#include "pkgcheck/report/Json.h"

namespace pkgcheck {

// `catalogs[].signature`: null without signer infos, else the verdict.
void WriteSignatureJson(JsonWriter& json, const CatalogCheck& catalog);
// `catalogs[].systems`: each served system's verdict.
void WriteSystemsJson(JsonWriter& json, const CatalogCheck& catalog);

// The lines of the text report, each ending in a line feed.
std::string SignatureText(const CatalogCheck& catalog);

}  // namespace pkgcheck
