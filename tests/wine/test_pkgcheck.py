"""The Windows build of pkgcheck against the launcher on the same machine:
its dry run over the live registry must name the command line the launcher
really gives the installer, and the "Worry" box where the launcher shows it."""

import json

import pytest

from harness import REPO, key_ini

DEVICE = "VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02"
OTHER = "VEN_10DE&DEV_0A64&SUBSYS_00000000&REV_B1"


@pytest.fixture
def pkgcheck():
    path = REPO / "dist" / "x64" / "pkgcheck.exe"
    if not path.exists():
        pytest.skip(f"{path} not built")
    return path


def dry_run(wine, pkgcheck, pkg):
    r = wine.run(pkgcheck, [pkg.win_dir, "--this-machine", "--install-dir", pkg.win_dir,
                            "--json"])
    assert r.exit_code in (0, 1), r.describe() + r.stdout
    return json.loads(r.stdout)["dryRun"]


@pytest.mark.parametrize("ids, pci", [
    (("VEN_1002&DEV_4380", "VEN_8086&DEV_2922"), [OTHER, DEVICE]),
    (("DEV_0A6",), [DEVICE, OTHER]),
    (("VEN_1002",), [OTHER, DEVICE]),
])
def test_dry_run_predicts_the_launcher(wine, make_package, launchers, pkgcheck, ids, pci):
    pkg = make_package(launchers["x64"], key_ini=key_ini(*ids))
    r = pkg.run(version="winxp", pci=pci)
    assert r.exit_code == 0, r.describe()
    predicted = dry_run(wine, pkgcheck, pkg)
    if r.installs:
        assert predicted["command"] == r.installs[0]["cmdline"]
    else:
        assert predicted["command"] is None
        assert [(b.caption, b.text) for b in r.boxes] == [
            (predicted["box"]["caption"], predicted["box"]["text"])]
