"""The X side of the Windows-side tests: a private X server, and the watcher
that finds a program's windows and answers its message boxes.  Part of
tests/wine/harness.py, whose docstring is the API; harness re-exports what
is named there."""

from __future__ import annotations

import dataclasses
import os
import re
import subprocess
import threading
import time
from pathlib import Path


class HarnessError(RuntimeError):
    pass


class Xvfb:
    """A private X server; Wine's message boxes need one to exist at all."""

    def __init__(self):
        read_fd, write_fd = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=[write_fd], stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        with os.fdopen(read_fd, "rb") as r:
            while not number.endswith(b"\n"):
                chunk = r.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip().isdigit():
            self.proc.kill()
            raise HarnessError("Xvfb did not report a display number")
        self.display = ":" + number.decode().strip()

    def close(self):
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()


@dataclasses.dataclass
class Window:
    id: str
    name: str
    wm_class: str
    first_seen: float
    fixed_size: bool
    keys_sent: int = 0
    last_key: float = 0.0


@dataclasses.dataclass
class Box:
    caption: str | None
    text: str | None
    window: str | None = None


def _xcmd(display, *args) -> str:
    try:
        r = subprocess.run(args, env={**os.environ, "DISPLAY": display},
                           stdin=subprocess.DEVNULL, capture_output=True,
                           timeout=15)
    except subprocess.TimeoutExpired:
        return ""
    return r.stdout.decode("utf-8", "replace")


MWM_FUNC_RESIZE, MWM_FUNC_MINIMIZE, MWM_FUNC_MAXIMIZE = 0x2, 0x8, 0x10


class _WindowWatcher(threading.Thread):
    """Polls for visible top-level windows while a program runs.

    Searching by class rather than name also finds boxes with an empty
    caption.  Fixed-size windows of the program under test, or of the other
    programs named in ``box_programs`` (Wine gives its windows the exe name
    as WM_CLASS), are their message boxes: they are answered with Return
    once they have stood ``box_delay`` seconds, again every few seconds if
    one stays up.  Other windows are only recorded.  The processes of the
    programs named in ``processes`` are looked for in /proc at each poll,
    and the last time each was seen is kept.
    """

    def __init__(self, display, exe_name, dismiss, interval=0.3, box_programs=(),
                 box_delay=0.0, processes=()):
        super().__init__(daemon=True)
        self.display = display
        self.box_classes = {exe_name.lower(), *(p.lower() for p in box_programs)}
        self.dismiss = dismiss
        self.interval = interval
        self.box_delay = box_delay
        self.windows: dict[str, Window] = {}
        self.last_seen: dict[str, float | None] = {p.lower(): None for p in processes}
        self._stop_event = threading.Event()

    def run(self):
        while not self._stop_event.is_set():
            self.poll()
            self._stop_event.wait(self.interval)

    def stop(self):
        self._stop_event.set()
        self.join(30)

    def poll(self):
        if self.last_seen:
            now = time.time()
            for name in running_programs(self.last_seen):
                self.last_seen[name] = now
        for wid in _xcmd(self.display, "xdotool", "search", "--onlyvisible",
                         "--classname", ".").split():
            w = self.windows.get(wid)
            # A window caught before Wine set its class, name or hints is
            # looked at again, as is any window of the programs not yet seen
            # as a box.
            if w is None or (not self.is_box(w)
                             and (w.wm_class.lower() in self.box_classes | {""}
                                  or not w.name)):
                w = self._describe(wid, w.first_seen if w else time.time())
                self.windows[wid] = w
            if (self.dismiss and self.is_box(w)
                    and time.time() - w.first_seen >= self.box_delay
                    and time.time() - w.last_key > 3.0):
                _xcmd(self.display, "xdotool", "key", "--window", wid, "Return")
                w.keys_sent += 1
                w.last_key = time.time()

    def _describe(self, wid, first_seen) -> Window:
        name = _xcmd(self.display, "xdotool", "getwindowname", wid).rstrip("\n")
        props = _xcmd(self.display, "xprop", "-id", wid, "WM_CLASS", "_MOTIF_WM_HINTS")
        cls = re.search(r'WM_CLASS\(STRING\) = "([^"]*)"', props)
        motif = re.search(r"_MOTIF_WM_HINTS\(_MOTIF_WM_HINTS\) = (0x[0-9a-f]+), (0x[0-9a-f]+)",
                          props)
        # Wine maps a window's styles to Motif functions; a message box can
        # be moved and closed but neither resized, minimized nor maximized.
        fixed = bool(motif) and not int(motif.group(2), 16) & (MWM_FUNC_RESIZE
                                                               | MWM_FUNC_MINIMIZE
                                                               | MWM_FUNC_MAXIMIZE)
        return Window(wid, name, cls.group(1) if cls else "", first_seen, fixed)

    def is_box(self, w: Window) -> bool:
        return w.fixed_size and w.wm_class.lower() in self.box_classes


def running_programs(names) -> set[str]:
    """Which of the exe names (lower case) a process of this machine runs:
    Wine gives a process its exe's path as its command line."""
    found = set()
    for cmdline in Path("/proc").glob("[0-9]*/cmdline"):
        try:
            first = cmdline.read_bytes().split(b"\0", 1)[0].decode("utf-8", "replace")
        except OSError:
            continue
        base = re.split(r"[\\/]", first)[-1].strip().lower()
        if base in names:
            found.add(base)
    return found


# Message boxes' texts, as Wine traces them on stderr.
_TRACE_RE = re.compile(r'trace:msgbox:MSGBOX_OnInit L"((?:[^"\\]|\\.)*)"')
_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "\\": "\\"}


def decode_debugstr(s: str) -> str:
    """Undo Wine's debugstr_w quoting: \\n \\r \\t \\" \\\\ and \\XXXX (hex)."""
    out, i = [], 0
    while i < len(s):
        c = s[i]
        if c != "\\":
            out.append(c)
            i += 1
        elif s[i + 1:i + 2] in _ESCAPES:
            out.append(_ESCAPES[s[i + 1]])
            i += 2
        else:
            out.append(chr(int(s[i + 1:i + 5], 16)))
            i += 5
    return "".join(out)


def box_texts(stderr: str) -> list[str]:
    return [decode_debugstr(m.group(1)) for m in _TRACE_RE.finditer(stderr)]

