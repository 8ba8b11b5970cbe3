"""pelnik-serve started on loopback ports with its own virtual cameras.

PELNIK_SERVE names the program and GST_PLUGIN_PATH the folder of pelniksrc
(ctest sets both to this build's). Every tool a test needs must be present:
the serve group of scripts/install-deps.sh brings them, and a missing one
fails the test.
"""

from __future__ import annotations

import json
import os
import re
import shutil
import signal
import socket
import ssl
import subprocess
import tempfile
import time
import urllib.error
import urllib.request
from pathlib import Path

import numpy as np
import pytest

SERVE = os.environ.get("PELNIK_SERVE") or shutil.which("pelnik-serve") or "pelnik-serve"
SOURCE_ROOT = Path(__file__).resolve().parents[3]


def need(tool: str) -> str:
    path = shutil.which(tool)
    if not path:
        pytest.fail(f"{tool} is missing: sh scripts/install-deps.sh serve installs it")
    return path


def virtcam() -> str:
    """The virtual camera program (ctest names this build's)."""
    program = os.environ.get("PELNIK_VIRTCAM") or shutil.which("pelnik-virtcam")
    if not program:
        pytest.fail("pelnik-virtcam is missing (ctest sets PELNIK_VIRTCAM)")
    return program


def free_port() -> int:
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Server:
    """One pelnik-serve process; stop() checks that it ends cleanly."""

    def __init__(self, output: Path, cameras: str = "0", extra: list[str] | None = None) -> None:
        self.output = output
        self.rtsp_port = free_port()
        self.http_port = free_port()
        self.token: str | None = None
        self.scheme = "https" if "--tls-cert" in (extra or []) else "http"
        self.context = None
        if self.scheme == "https":
            cert = extra[extra.index("--tls-cert") + 1]
            self.context = ssl.create_default_context(cafile=cert)
            self.context.check_hostname = False
        args = [SERVE, "--virtual", "--cameras", cameras, "--rtsp-port", str(self.rtsp_port),
                "--http-port", str(self.http_port), "--output", str(output)] + (extra or [])
        self.log = open(output.parent / f"serve-{self.http_port}.log", "w+")
        # A settings store of its own: what one test changes stays there.
        config = output.parent / f"config-{self.http_port}"
        config.mkdir()
        env = dict(os.environ, XDG_CONFIG_HOME=str(config))
        self.process = subprocess.Popen(args, stdout=self.log, stderr=subprocess.STDOUT, env=env)
        deadline = time.monotonic() + 30
        while True:
            if self.process.poll() is not None:
                raise RuntimeError(f"pelnik-serve ended at start:\n{self.text()}")
            if "page at" in self.text():
                break
            if time.monotonic() > deadline:
                raise RuntimeError(f"pelnik-serve did not start:\n{self.text()}")
            time.sleep(0.05)
        if "--token" in (extra or []):
            self.token = extra[extra.index("--token") + 1]
        elif "--token-file" in (extra or []):
            self.token = Path(extra[extra.index("--token-file") + 1]).read_text().strip()
        # Ready once every camera has delivered pictures for a while, so that
        # its frame rate is known.
        while True:
            status, _, body = self.request("/api/state", token=self.token)
            if status == 200 and all(c["frames"] >= 10 for c in json.loads(body)["cameras"]):
                break
            if time.monotonic() > deadline or self.process.poll() is not None:
                raise RuntimeError(f"pelnik-serve delivers no pictures:\n{self.text()}")
            time.sleep(0.1)

    def text(self) -> str:
        self.log.flush()
        return Path(self.log.name).read_text()

    def wait_for_log(self, line: str, timeout: float = 20) -> None:
        deadline = time.monotonic() + timeout
        while line not in self.text():
            assert time.monotonic() < deadline, f"no '{line}' in the log:\n{self.text()}"
            time.sleep(0.1)

    def inject(self, action: str, camera: int) -> None:
        """A fault (or its end) in one of the server's virtual cameras."""
        found = re.search(r"virtual cameras in (\S+)", self.text())
        assert found, f"the server names no virtual camera folder:\n{self.text()}"
        subprocess.run([virtcam(), "ctl", action, str(camera)], check=True, timeout=10,
                       env=dict(os.environ, XDG_RUNTIME_DIR=found.group(1)))

    def url(self, path: str) -> str:
        return f"{self.scheme}://127.0.0.1:{self.http_port}{path}"

    def rtsp(self, camera: int) -> str:
        return f"rtsp://127.0.0.1:{self.rtsp_port}/cam{camera}"

    def request(self, path: str, method: str = "GET", token: str | None = None,
                timeout: float = 20) -> tuple[int, dict, bytes]:
        """(status, headers, body) of one request; HTTP errors are answers too."""
        req = urllib.request.Request(self.url(path), method=method)
        if token:
            req.add_header("Authorization", f"Bearer {token}")
        try:
            with urllib.request.urlopen(req, timeout=timeout, context=self.context) as answer:
                return answer.status, dict(answer.headers), answer.read()
        except urllib.error.HTTPError as error:
            return error.code, dict(error.headers), error.read()

    def state(self) -> str:
        """The server's own account of its cameras, for failure messages."""
        try:
            return self.request("/api/state", token=self.token, timeout=5)[2].decode()
        except OSError as error:
            return f"no answer: {error}"

    def decode_rtsp(self, camera: int, frames: int, timeout: float = 90) -> np.ndarray:
        """`frames` pictures of a camera's RTSP stream decoded by ffmpeg, as
        8-bit grey; a failure says what ffmpeg and the server reported."""
        with tempfile.NamedTemporaryFile(suffix=".gray") as out:
            started = time.monotonic()
            try:
                subprocess.run(rtsp_reader(self.rtsp(camera)) +
                               ["-frames:v", str(frames), "-fps_mode", "passthrough", "-f",
                                "rawvideo", "-pix_fmt", "gray", "-y", out.name],
                               check=True, timeout=timeout, capture_output=True, text=True)
            except (subprocess.CalledProcessError, subprocess.TimeoutExpired) as failure:
                pytest.fail(f"camera {camera}: ffmpeg failed after "
                            f"{time.monotonic() - started:.0f} s: {failure}\n"
                            f"ffmpeg said: {failure.stderr}\nserver state: {self.state()}\n"
                            f"server log:\n{self.text()[-4000:]}")
            data = np.fromfile(out.name, np.uint8)
        assert data.size == frames * 1280 * 1024, f"{data.size} bytes decoded"
        return data.reshape(frames, 1024, 1280)

    def stop(self) -> None:
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            code = self.process.wait(30)
            assert code == 0, f"pelnik-serve ended with {code}:\n{self.text()}"
        self.log.close()


@pytest.fixture
def start_server(tmp_path):
    servers: list[Server] = []

    def start(cameras: str = "0", extra: list[str] | None = None) -> Server:
        out = tmp_path / f"out{len(servers)}"
        server = Server(out, cameras, extra)
        servers.append(server)
        return server

    yield start
    for server in servers:
        server.stop()


class CounterReader:
    """Reads the test chart's visible frame counter from a full-size picture.

    The glyphs and their place are read from the chart's own source, so the
    test follows the chart if it changes.
    """

    def __init__(self) -> None:
        source = (SOURCE_ROOT / "virtcam" / "scene.cpp").read_text()
        table = re.search(r"kDigitGlyphs\[10\]\[7\] = \{(.*?)\};", source, re.S).group(1)
        values = [int(v, 16) for v in re.findall(r"0x[0-9A-Fa-f]+", table)]
        assert len(values) == 70
        self.glyphs = [tuple(values[i * 7:(i + 1) * 7]) for i in range(10)]

        def constant(name: str) -> int:
            return int(re.search(rf"\b{name} = (\d+)", source).group(1))

        self.margin = constant("kMargin")
        self.top = constant("kCounterTop")
        self.digits = constant("kCounterDigits")
        self.scale = constant("kGlyphScale")

    def read(self, gray: np.ndarray) -> int | None:
        """The counter of an 8-bit grey picture, None where a digit is unreadable."""
        s = self.scale
        cell = 6 * s
        number = 0
        for d in range(self.digits):
            rows = []
            for r in range(7):
                bits = 0
                for c in range(5):
                    y = self.top + 6 + r * s + s // 2
                    x = self.margin + 2 * s + d * cell + c * s + s // 2
                    if gray[y - 1:y + 2, x - 1:x + 2].mean() > 128:
                        bits |= 0x10 >> c
                rows.append(bits)
            if tuple(rows) not in self.glyphs:
                return None
            number = number * 10 + self.glyphs.index(tuple(rows))
        return number


@pytest.fixture(scope="session")
def counter() -> CounterReader:
    return CounterReader()


def assert_counting(numbers: list[int | None], minimum_distinct: int) -> None:
    """The counters read never go back and advance over the pictures."""
    read = [n for n in numbers if n is not None]
    assert len(read) >= 0.8 * len(numbers), f"counter unreadable in too many pictures: {numbers}"
    assert all(a <= b for a, b in zip(read, read[1:])), f"counter went back: {read}"
    assert len(set(read)) >= minimum_distinct, f"counter hardly advanced: {read}"


def rtsp_reader(url: str) -> list[str]:
    """ffmpeg reading an RTSP stream over TCP; it gives up after 20 s without
    data rather than waiting for ever, so a stalled stream fails with words."""
    return [need("ffmpeg"), "-v", "error", "-rtsp_transport", "tcp", "-timeout", "20000000",
            "-i", url]
