#include "pkgcheck/check/DryRun.h"
#include "pkgcheck/read/Text.h"
#include "pkgcheck/report/Json.h"
#include "pkgcheck/report/Report.h"
#include "pkgcheck/report/SignatureReport.h"

namespace pkgcheck {
namespace {

void WriteFinding(JsonWriter& json, const Finding& f) {
    json.BeginObject().Key("kind").String(f.kind).Key("file").String(f.file);
    json.Key("line").Ordinal(f.line - 1).Key("entry").Ordinal(f.entry - 1);
    json.Key("message").String(f.message).EndObject();
}

void WriteFindings(JsonWriter& json, const std::vector<Finding>& findings) {
    json.BeginArray();
    for (const Finding& f : findings) WriteFinding(json, f);
    json.EndArray();
}

// The part under `key`, or null where the check did not run.
template <typename T, typename Write>
void Optional(JsonWriter& json, const char* key, const std::optional<T>& part, Write write) {
    json.Key(key);
    if (part)
        write(json, *part);
    else
        json.Null();
}

// null for an empty text: what is not there.
void StringOrNull(JsonWriter& json, const std::string& text) {
    if (text.empty())
        json.Null();
    else
        json.String(text);
}

void WriteInstaller(JsonWriter& json, const InstallerLoad& c) {
    json.BeginObject().Key("filesRead").BeginArray();
    for (const std::string& file : c.filesRead) json.String(file);
    json.EndArray().Key("findings").BeginArray();
    for (const Finding& f : c.findings)
        json.BeginObject()
            .Key("error")
            .Bool(f.severity == Severity::Error)
            .Key("kind")
            .String(f.kind)
            .Key("file")
            .String(f.file)
            .Key("message")
            .String(f.message)
            .EndObject();
    json.EndArray().EndObject();
}

void WriteDriver(JsonWriter& json, const std::optional<PayloadDriver>& driver) {
    if (!driver || !driver->image) {
        json.Null();
        return;
    }
    json.BeginObject()
        .Key("pe32plus")
        .Bool(driver->pe32plus)
        .Key("machine")
        .Number(driver->machine);
    json.Key("subsystem").Number(driver->subsystem).Key("checksum").Number(driver->checksum);
    json.Key("computedChecksum").Number(driver->computedChecksum).EndObject();
}

void WritePayload(JsonWriter& json, const Payload& p) {
    json.BeginObject().Key("architecture").String(p.architecture);
    json.Key("installSections").BeginArray();
    for (const PayloadInstall& install : p.installs) {
        json.BeginObject().Key("name").String(install.name).Key("chosen");
        StringOrNull(json, install.chosen);
        json.Key("modelSection").String(install.modelSection).Key("line").Number(install.line);
        json.Key("models").Number(install.models).Key("copyFiles").BeginArray();
        for (const std::string& item : install.copyFiles) json.String(item);
        json.EndArray().Key("serviceBinaries").BeginArray();
        for (const std::string& binary : install.serviceBinaries) json.String(binary);
        json.EndArray().EndObject();
    }
    json.EndArray().Key("files").BeginArray();
    for (const PayloadFile& file : p.files) {
        json.BeginObject().Key("name").String(file.name).Key("section").String(file.section);
        json.Key("line").Number(file.line).Key("listedIn");
        StringOrNull(json, file.listedIn);
        json.Key("disk");
        StringOrNull(json, file.disk);
        json.Key("expected");
        StringOrNull(json, file.expected);
        json.Key("found");
        StringOrNull(json, file.found);
        json.Key("cabinet");
        StringOrNull(json, file.cabinet);
        json.Key("member");
        StringOrNull(json, file.member);
        json.Key("compressed").Bool(file.compressed);
        json.Key("driver");
        WriteDriver(json, file.driver);
        json.EndObject();
    }
    json.EndArray().Key("catalog");
    if (!p.catalog) {
        json.Null();
    } else {
        const PayloadCatalog& c = *p.catalog;
        json.BeginObject().Key("key").String(c.key).Key("name").String(c.name);
        json.Key("line").Number(c.line).Key("found");
        StringOrNull(json, c.found);
        json.EndObject();
    }
    json.EndObject();
}

void WriteCatalogs(JsonWriter& json, const std::vector<CatalogCheck>& catalogs) {
    json.BeginArray();
    for (const CatalogCheck& c : catalogs) {
        json.BeginObject().Key("architecture").String(c.architecture);
        json.Key("catalog").String(c.catalog).Key("read").Bool(c.read);
        json.Key("signature");
        WriteSignatureJson(json, c);
        json.Key("version").Number(c.version).Key("systems");
        WriteSystemsJson(json, c);
        json.Key("members").Number(static_cast<long long>(c.members)).Key("files").BeginArray();
        for (const CatalogFileState& file : c.files) {
            json.BeginObject().Key("file").String(file.file).Key("image").Bool(file.image);
            json.Key("hash");
            StringOrNull(json, file.hash);
            json.Key("state").String(KindOf(file.state)).EndObject();
        }
        json.EndArray().EndObject();
    }
    json.EndArray();
}

void WriteList(JsonWriter& json, const ListFile& list) {
    json.BeginObject().Key("bytes").Number(static_cast<long long>(list.bytes.size()));
    json.Key("nulOffset");
    if (list.nulOffset == std::string::npos)
        json.Null();
    else
        json.Number(static_cast<long long>(list.nulOffset));
    json.Key("entries").BeginArray();
    for (const ListEntry& e : list.entries)
        json.BeginObject()
            .Key("line")
            .Number(e.line)
            .Key("lastLine")
            .Number(e.lastLine)
            .Key("text")
            .String(list.Text(e))
            .Key("visible")
            .String(Visible(list.Text(e)))
            .EndObject();
    json.EndArray().EndObject();
}

void WriteInf(JsonWriter& json, const InfContents& inf, const std::optional<CrossCheck>& cross) {
    json.BeginObject().Key("encoding").String(inf.encoding).Key("sections").BeginArray();
    for (const std::string& s : inf.sections) json.String(s);
    json.EndArray().Key("otherSections").BeginArray();
    for (const InfOtherSection& s : inf.otherSections)
        json.BeginObject()
            .Key("name")
            .String(s.name)
            .Key("serves")
            .String(s.serves)
            .Key("x64Nt52")
            .Bool(s.x64Nt52)
            .EndObject();
    json.EndArray().Key("hardwareIds").BeginArray();
    for (std::size_t j = 0; j < inf.ids.size(); ++j)
        json.BeginObject()
            .Key("id")
            .String(inf.Id(j))
            .Key("section")
            .String(inf.SectionOf(j))
            .Key("line")
            .Number(inf.ids[j].line)
            .Key("coveredBy")
            .Ordinal(cross ? cross->coveringEntry[j] : -1)
            .EndObject();
    json.EndArray().Key("entriesWithoutHardwareId").BeginArray();
    if (cross && !inf.ids.empty())
        for (std::size_t i = 0; i < cross->entryMatchesInf.size(); ++i)
            if (!cross->entryMatchesInf[i]) json.Number(static_cast<long long>(i + 1));
    json.EndArray().EndObject();
}

void WriteChosenInInf(JsonWriter& json, const std::optional<ChosenInInf>& c, const Report& r) {
    json.Key("chosenInInf");
    if (!c) {
        json.Null();
        return;
    }
    json.BeginObject().Key("hardwareIds").BeginArray();
    for (const std::string& id : c->hardwareIds) json.String(id);
    json.EndArray().Key("infId");
    if (c->infId < 0)
        json.Null();
    else
        json.String(r.inf->Id(static_cast<std::size_t>(c->infId)));
    json.EndObject();
}

void WriteBox(JsonWriter& json, const std::string& command, const std::string& caption,
              const std::string& text) {
    json.Key("command");
    if (command.empty())
        json.Null();
    else
        json.String(command);
    json.Key("box");
    if (command.empty())
        json.BeginObject().Key("caption").String(caption).Key("text").String(text).EndObject();
    else
        json.Null();
}

void WriteFleet(JsonWriter& json, const Report& r) {
    json.BeginObject().Key("machines").BeginArray();
    for (const Machine& m : *r.fleet) {
        json.BeginObject().Key("file").String(m.file).Key("format").String(m.format);
        json.Key("error");
        if (m.error.empty())
            json.Null();
        else
            json.String(m.error);
        json.Key("chosen");
        if (m.chosen.empty())
            json.Null();
        else
            json.String(m.chosen);
        json.Key("chosenEntry").Ordinal(m.chosenEntry);
        if (m.error.empty()) {
            WriteBox(json, m.command, m.boxCaption, m.boxText);
        } else {
            json.Key("command").Null().Key("box").Null();
        }
        WriteChosenInInf(json, m.inInf, r);
        json.EndObject();
    }
    const FleetTotals t = TotalsOf(*r.fleet);
    json.EndArray().Key("totals").BeginObject();
    json.Key("machines").Number(t.machines).Key("installations").Number(t.installations);
    json.Key("worryBoxes").Number(t.worryBoxes).Key("otherBoxes").Number(t.otherBoxes);
    json.Key("chosenNotInInf").Number(t.chosenNotInInf).Key("errors").Number(t.errors);
    json.EndObject().EndObject();
}

void WriteDryRun(JsonWriter& json, const Report& r) {
    const DryRun& run = *r.dryRun;
    const DeviceList& devices = *r.devices;
    json.BeginObject().Key("source").String(r.devicesSource).Key("format").String(devices.format);
    json.Key("sortedHere").Bool(devices.sortedHere).Key("devices").BeginArray();
    for (std::size_t i = 0; i < devices.names.size(); ++i)
        json.BeginObject()
            .Key("name")
            .String(devices.names[i])
            .Key("firstMatch")
            .Ordinal(run.firstMatch[i])
            .EndObject();
    json.EndArray().Key("namesRead").Number(run.namesRead).Key("stoppedAt").Ordinal(run.stoppedAt);
    json.Key("chosen").Ordinal(run.chosen).Key("chosenEntry").Ordinal(run.chosenEntry);
    WriteBox(json, run.command, run.boxCaption, run.boxText);
    WriteChosenInInf(json, r.chosenInInf, r);
    json.Key("installs");
    if (run.command.empty())
        json.Null();
    else
        json.Bool(!r.installStop);
    Optional(json, "installStoppedBy", r.installStop, WriteFinding);
    json.Key("installsX64");
    if (run.command.empty() || !r.payloadAmd64)
        json.Null();
    else
        json.Bool(!r.installStopX64);
    Optional(json, "installStoppedByX64", r.installStopX64, WriteFinding);
    json.EndObject();
}

}  // namespace

void FormatJson(const Report& r, const Output& output) {
    JsonWriter json(output);
    json.BeginObject().Key("package").String(r.options.packageDir);
    json.Key("installDir").String(AsInstallDir(r.options.installDir));
    json.Key("codePage").String(r.codePageName).Key("layout").BeginArray();
    for (const LayoutItem& item : r.layout.items) {
        json.BeginObject().Key("name").String(item.name).Key("found");
        if (item.found.empty())
            json.Null();
        else
            json.String(item.found);
        json.EndObject();
    }
    json.EndArray().Key("list");
    if (r.list)
        WriteList(json, *r.list);
    else
        json.Null();
    json.Key("inf");
    if (r.inf && r.inf->error.empty())
        WriteInf(json, *r.inf, r.cross);
    else
        json.Null();
    Optional(json, "installer", r.installer, WriteInstaller);
    Optional(json, "payload", r.payload, WritePayload);
    Optional(json, "installer64", r.installer64, WriteInstaller);
    Optional(json, "payloadAmd64", r.payloadAmd64, WritePayload);
    json.Key("catalogs");
    WriteCatalogs(json, r.catalogs);
    json.Key("dryRun");
    if (r.dryRun)
        WriteDryRun(json, r);
    else
        json.Null();
    json.Key("fleet");
    if (r.fleet)
        WriteFleet(json, r);
    else
        json.Null();
    json.Key("warnings");
    WriteFindings(json, r.warnings);
    json.Key("errors");
    WriteFindings(json, r.errors);
    json.Key("exitStatus").Number(ExitStatus(r)).EndObject();
    json.Finish();
}

std::string FormatJson(const Report& report) {
    std::string text;
    FormatJson(report, [&](std::string_view block) { text += block; });
    return text;
}

}  // namespace pkgcheck
