"""The Windows build of pkgcheck against the launcher on the same machine:
its dry run over the live registry, and over reg's own listings of it
(reg query, reg export) read as a fleet, must name the command line the
launcher really gives the installer, and the "Worry" box where the launcher
shows it."""

import json

import pytest

from harness import PCI_KEY, REPO, key_ini

DEVICE = "VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02"
OTHER = "VEN_10DE&DEV_0A64&SUBSYS_00000000&REV_B1"


@pytest.fixture
def pkgcheck():
    path = REPO / "dist" / "x64" / "pkgcheck.exe"
    if not path.exists():
        pytest.skip(f"{path} not built")
    return path


def report(wine, pkgcheck, pkg, *args):
    r = wine.run(pkgcheck, [pkg.win_dir, "--install-dir", pkg.win_dir, "--json", *args],
                 prints=True)
    assert r.stdout, f"{r.describe()}\n{r.stderr}"
    data = json.loads(r.stdout)
    # The package's installer is the 64-bit stand-in, which 32-bit Windows
    # would refuse, and its INF a stub with no models, which installs
    # nothing: those are the errors the check may find.
    errors = {e["kind"] for e in data["errors"]}
    assert r.exit_code in (0, 1) or errors <= {"installer-pe32plus", "inf-no-manufacturer"}, \
        f"{r.describe()}\n{r.stderr}"
    return data


def listings(wine, pkg):
    """The PCI key as reg query prints it and as reg export saves it."""
    query = pkg.dir.parent / "query.txt"
    status, out = wine.reg("query", PCI_KEY)
    assert status == 0, out
    query.write_text(out, "ascii", newline="")
    export = pkg.dir.parent / "export.reg"
    status, out = wine.reg("export", PCI_KEY, wine.windows_path(export), "/y")
    assert status == 0, out
    return [wine.windows_path(query), wine.windows_path(export)]


@pytest.mark.parametrize("ids, pci", [
    (("VEN_1002&DEV_4380", "VEN_8086&DEV_2922"), [OTHER, DEVICE]),
    (("DEV_0A6",), [DEVICE, OTHER]),
    (("VEN_1002",), [OTHER, DEVICE]),
])
def test_dry_run_predicts_the_launcher(wine, make_package, launchers, pkgcheck, ids, pci):
    pkg = make_package(launchers["x64"], key_ini=key_ini(*ids))
    r = pkg.run(version="winxp", pci=pci)
    assert r.exit_code == 0, r.describe()
    predicted = report(wine, pkgcheck, pkg, "--this-machine")["dryRun"]
    files = listings(wine, pkg)
    fleet = report(wine, pkgcheck, pkg, "--devices", files[0], "--devices", files[1])["fleet"]
    assert [m["format"].split(" (")[0] for m in fleet["machines"]] == ["reg query", "reg export"]
    if r.installs:
        assert predicted["command"] == r.installs[0]["cmdline"]
        assert [m["command"] for m in fleet["machines"]] == [r.installs[0]["cmdline"]] * 2
        assert fleet["totals"]["installations"] == 2
    else:
        assert predicted["command"] is None
        assert [(b.caption, b.text) for b in r.boxes] == [
            (predicted["box"]["caption"], predicted["box"]["text"])]
        assert [m["box"] for m in fleet["machines"]] == [predicted["box"]] * 2
        assert fleet["totals"]["worryBoxes"] == 2


def test_write_list_reaches_standard_output_byte_for_byte(wine, pkgcheck, tmp_path):
    """The list's CR LF ends come out as written, not doubled by a text-mode
    stream, and the package needs no key.ini or install.exe for it."""
    pkg = tmp_path / "package"
    (pkg / "drv").mkdir(parents=True)
    (pkg / "drv" / "stordrv.inf").write_bytes(
        b"[Manufacturer]\r\nM=Models,NTamd64\r\n[Models]\r\nD=I,PCI\\VEN_8086&DEV_2922\r\n"
        b"[Models.NTamd64]\r\nD=I,PCI\\VEN_8086&DEV_2922\r\n")
    r = wine.run(pkgcheck, ["--write-list", wine.windows_path(pkg)], prints=True)
    assert r.exit_code == 0, f"{r.describe()}\n{r.stderr}"
    written = (r.logdir / "stdout.txt").read_bytes()
    assert written.startswith(b"[SupportedIDs]\r\n;"), written
    assert written.endswith(b"\r\nid1=VEN_8086&DEV_2922\r\n"), written
    assert b"\r\r" not in written, written


MATERIAL = REPO / "tests" / "pkgcheck" / "material" / "ms-signed"


def signed_package(tmp_path, catalog: bytes):
    """The Microsoft-signed INF as the package's INF, beside its catalog."""
    pkg = tmp_path / "package"
    (pkg / "drv").mkdir(parents=True)
    (pkg / "key.ini").write_bytes(b"[SupportedIDs]\r\nid1=VEN_1022&DEV_780B\r\n")
    (pkg / "drv" / "stordrv.inf").write_bytes((MATERIAL / "SMBUSamd.inf").read_bytes())
    (pkg / "drv" / "smbusamd.cat").write_bytes(catalog)
    return pkg


def catalog_verdict(wine, pkgcheck, pkg):
    r = wine.run(pkgcheck, ["--json", wine.windows_path(pkg)], prints=True)
    assert r.stdout, f"{r.describe()}\n{r.stderr}"
    data = json.loads(r.stdout)
    x86 = next(c for c in data["catalogs"] if c["architecture"] == "x86")
    return x86, {e["kind"] for e in data["errors"]}


def test_verdict_on_a_microsoft_signed_catalog_and_a_changed_copy(wine, pkgcheck, tmp_path):
    """pkgcheck.exe gives the host build's verdicts: the real catalog is
    Microsoft's driver signing at its timestamp, its changed copy is broken."""
    catalog = (MATERIAL / "smbusamd.cat").read_bytes()
    verdict, errors = catalog_verdict(wine, pkgcheck, signed_package(tmp_path / "real", catalog))
    signature = verdict["signature"]
    assert signature["verified"], signature
    assert signature["driverSigning"] and signature["root"] == "Microsoft Root Authority"
    assert signature["digestAlgorithm"] == "sha1"
    assert signature["timestamp"] == "2011-09-13 14:29:46 UTC"
    taken = {s["system"]: s["takenAs"] for s in verdict["systems"]}
    assert taken["XP SP3"] == "driver-signing" and taken["2000 SP4"] == "unsigned", taken
    assert "catalog-signature-broken" not in errors

    # A byte of its OSAttr text, inside the signed content.
    at = catalog.find("2:5.1".encode("utf-16-le"))
    assert at > 0
    changed = catalog[:at] + b"3" + catalog[at + 1:]
    verdict, errors = catalog_verdict(wine, pkgcheck, signed_package(tmp_path / "changed", changed))
    assert not verdict["signature"]["verified"]
    assert "changed after it was signed" in verdict["signature"]["problem"]
    assert {s["takenAs"] for s in verdict["systems"]} == {"unsigned"}
    assert "catalog-signature-broken" in errors
