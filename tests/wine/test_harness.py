"""Checks that the harness reports what programs really did, using the
helper programs whose behaviour is known, before any launcher test relies
on it."""

import shutil

import pytest

from harness import DLL_OVERRIDES, WINE_DISPLAY_DEVICE, needs_win32


def test_quiet_program_reports_exit_and_no_windows(wine, tools):
    r = wine.run(tools.exe("noop"))
    assert (r.exit_code, r.timed_out, r.boxes) == (0, False, []), r.describe()
    assert r.windows == []


def test_boxes_are_read_back_in_order_and_answered(wine, tools):
    text = r'two\nlines "quoted" \ back, caf' + "\u00e9"
    r = wine.run(tools.exe("showbox"), ["First box", text, "", "empty caption"])
    # showbox exits with the number of boxes that returned IDOK.
    assert r.exit_code == 2, r.describe()
    assert [(b.caption, b.text) for b in r.boxes] == [
        ("First box", 'two\nlines "quoted" \\ back, caf\u00e9'),
        ("", "empty caption"),
    ]


def test_fakeinstall_logs_its_start_and_lives_its_time(wine, tools, tmp_path):
    exe = tmp_path / "dir with blank" / "install.exe"
    exe.parent.mkdir()
    shutil.copy2(tools.exe("fakeinstall"), exe)
    log = tmp_path / "log.jsonl"
    env = {"FAKEINSTALL_LOG": wine.windows_path(log), "FAKEINSTALL_SECONDS": "3"}

    r = wine.run(exe, ["a b", 'q"uote', "plain"], env=env, install_log=log)

    assert r.exit_code == 0, r.describe()
    [start] = r.installs
    assert start["argv"][1:] == ["a b", 'q"uote', "plain"]
    assert start["module"] == wine.windows_path(exe)
    assert start["cmdline"].startswith(f'"{start["module"]}" "a b" ')
    assert start["end_unix_ms"] - start["unix_ms"] >= 2000
    assert start["end_unix_ms"] >= r.started_at * 1000 + 3000
    # Started from a shell it is shown, so its window is seen, titled with
    # its path, and is not taken for a message box.
    assert [w.name for w in r.windows] == [wine.windows_path(exe)]
    assert r.boxes == []


@pytest.mark.parametrize("version, reported", [
    ("win2k", "2 5 0"),
    ("winxp64", "2 5 2"),
    ("nt40", "2 4 0"),
    ("win98", "1 4 10"),
])
def test_version_is_set_per_program(wine, tools, tmp_path, version, reported):
    exe = tmp_path / "osver.exe"
    shutil.copy2(tools.exe("osver"), exe)
    out = tmp_path / "version.txt"
    wine.set_version("osver.exe", version)
    r = wine.run(exe, [wine.windows_path(out)])
    assert r.exit_code == 0, r.describe()
    assert out.read_text().split()[:3] == reported.split()


def test_pci_subkeys_are_replaced_and_enumerated_sorted(wine):
    wine.set_pci_devices(["VEN_8086&DEV_2922&REV_02", "VEN_1000&DEV_0030"])
    devices = wine.pci_devices()
    # Wine puts its own display adapter back whenever its desktop starts.
    assert [d for d in devices if d != WINE_DISPLAY_DEVICE] == [
        "VEN_1000&DEV_0030", "VEN_8086&DEV_2922&REV_02"]
    assert devices == sorted(devices, key=str.lower)


def test_planted_comctl32_marks_its_loading(wine, tools, tmp_path):
    shutil.copy2(tools.exe("importcomctl"), tmp_path)
    shutil.copy2(tools.dll("comctl32"), tmp_path)
    mark = tmp_path / "planted.mark"
    exe = tmp_path / "importcomctl.exe"

    assert wine.run(exe).exit_code == 0
    assert not mark.exists(), "Wine took the planted copy without being told to"

    r = wine.run(exe, env={"WINEDLLOVERRIDES": DLL_OVERRIDES + ";comctl32=n,b"})
    assert r.exit_code == 0, r.describe()
    assert mark.read_bytes() == b"planted DLL loaded\r\n"


@needs_win32
def test_32bit_program_runs_and_its_box_is_seen(wine, tools):
    r = wine.run(tools.exe("showbox", "x86"), ["Caption 32", "text"])
    assert r.exit_code == 1, r.describe()
    assert [(b.caption, b.text) for b in r.boxes] == [("Caption 32", "text")]
