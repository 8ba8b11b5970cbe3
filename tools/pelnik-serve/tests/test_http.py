"""The page's requests: live picture, controls, snapshot, recording, and
requests that must be refused while the camera goes on."""

from __future__ import annotations

import io
import json
import os
import socket
import subprocess
import time
import urllib.request

import numpy as np
from PIL import Image

from conftest import assert_counting, need


def live_pictures(server, count: int, camera: int = 0, query: str = "") -> list[bytes]:
    """The first `count` JPEG parts of the camera's MJPEG stream."""
    url = server.url(f"/live.mjpg?camera={camera}{query}")
    parts: list[bytes] = []
    with urllib.request.urlopen(url, timeout=20) as stream:
        assert stream.headers["Content-Type"].startswith("multipart/x-mixed-replace")
        while len(parts) < count:
            line = stream.readline()
            if line.lower().startswith(b"content-length:"):
                size = int(line.split(b":")[1])
                stream.readline()
                parts.append(stream.read(size))
    return parts


def grey(jpeg: bytes) -> np.ndarray:
    return np.asarray(Image.open(io.BytesIO(jpeg)).convert("L"))


def test_live_picture_shows_the_counting_chart(start_server, counter):
    server = start_server("0")
    parts = live_pictures(server, 20)
    for jpeg in parts:
        assert Image.open(io.BytesIO(jpeg)).size == (1280, 1024)
    assert_counting([counter.read(grey(j)) for j in parts], minimum_distinct=10)


def test_control_reaches_the_camera_and_bad_values_are_refused(start_server):
    server = start_server("0")
    status, _, body = server.request("/api/control?camera=0&name=gain&value=7", "POST")
    assert status == 200 and json.loads(body)["gain"] == 7
    state = json.loads(server.request("/api/state")[2])
    assert state["cameras"][0]["controls"]["gain"] == 7
    assert state["cameras"][0]["controls"]["color-mode"] == 24  # the virtual camera's own mode
    status, _, body = server.request("/api/control?camera=0&name=mirror-h&value=1", "POST")
    assert status == 200 and json.loads(body)["mirror-h"] == 1

    for bad in ("name=gain&value=seven", "name=gain", "name=no-such-thing&value=1",
                "name=frame-timeout&value=5", "name=color-mode&value=12"):
        status, _, body = server.request(f"/api/control?camera=0&{bad}", "POST")
        assert 400 <= status < 500, bad
        assert "error" in json.loads(body)
    # A camera not served, and a change by GET, are refused too.
    assert server.request("/api/control?camera=5&name=gain&value=1", "POST")[0] == 400
    assert server.request("/api/control?camera=0&name=gain&value=1")[0] == 405
    assert json.loads(server.request("/api/state")[2])["cameras"][0]["controls"]["gain"] == 7


def test_colour_mode_change_restarts_the_stream_in_the_new_mode(start_server, counter):
    server = start_server("0")
    status, _, body = server.request("/api/control?camera=0&name=color-mode&value=8", "POST")
    assert status == 200, body
    assert json.loads(body)["color-mode"] == 8
    parts = live_pictures(server, 10)
    assert_counting([counter.read(grey(j)) for j in parts], minimum_distinct=5)
    # An 8-bit camera is grey: the picture's channels are equal.
    rgb = np.asarray(Image.open(io.BytesIO(parts[-1])).convert("RGB")).astype(int)
    assert np.abs(rgb[..., 0] - rgb[..., 2]).mean() < 3


def test_snapshot_downloads_a_png_of_the_chart(start_server, counter):
    server = start_server("0")
    status, headers, body = server.request("/api/snapshot?camera=0")
    assert status == 200
    assert headers["Content-Type"] == "image/png"
    assert "attachment" in headers["Content-Disposition"]
    picture = Image.open(io.BytesIO(body))
    assert picture.format == "PNG" and picture.size == (1280, 1024)
    assert counter.read(np.asarray(picture.convert("L"))) is not None
    # The snapshot's file does not stay behind in the output folder.
    assert not [n for n in os.listdir(server.output) if n.endswith(".png")]


def test_recording_is_listed_and_downloads_as_uncompressed_avi(start_server, tmp_path):
    server = start_server("0")
    status, _, body = server.request("/api/record?camera=0&action=start", "POST")
    assert status == 200
    name = json.loads(body)["recording"]
    assert server.request("/api/record?camera=0&action=start", "POST")[0] == 409
    time.sleep(1.5)
    status, _, body = server.request("/api/record?camera=0&action=stop", "POST")
    assert status == 200 and json.loads(body)["recorded"] == name
    assert server.request("/api/record?camera=0&action=stop", "POST")[0] == 409

    listed = json.loads(server.request("/api/recordings")[2])["recordings"]
    assert [r["name"] for r in listed] == [name]
    status, headers, body = server.request(f"/recordings/{name}")
    assert status == 200 and len(body) == listed[0]["size"]
    avi = tmp_path / "download.avi"
    avi.write_bytes(body)
    probe = subprocess.run([need("ffprobe"), "-v", "error", "-count_frames", "-show_streams",
                            "-of", "json", str(avi)], check=True, capture_output=True, text=True)
    stream = json.loads(probe.stdout)["streams"][0]
    assert stream["codec_name"] == "rawvideo" and stream["pix_fmt"] == "bgr24"
    assert int(stream["nb_read_frames"]) >= 10


def raw_request(port: int, data: bytes) -> bytes:
    """The answer's status line (b"" when the server just closes)."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall(data)
        answer = b""
        while b"\r\n" not in answer and (chunk := s.recv(65536)):
            answer += chunk
    return answer.split(b"\r\n")[0]


def test_requests_outside_the_output_folder_and_malformed_ones_fail_while_streaming(
        start_server, counter):
    server = start_server("0")
    (server.output / "secret.txt").write_text("not for download")
    os.symlink("/etc/passwd", server.output / "link.avi")
    for path in ("/recordings/..%2F..%2Fetc%2Fpasswd", "/recordings/%2Fetc%2Fpasswd",
                 "/recordings/../../etc/passwd", "/recordings/.snapshot-cam0.png",
                 "/recordings/link.avi", "/recordings/", "/../../etc/passwd", "/etc/passwd",
                 "/recordings/%00", "/recordings/secret.txt%00.avi"):
        status, _, body = server.request(path)
        assert status in (400, 404), path
        assert b"root:" not in body, path
    assert "link.avi" not in server.request("/api/recordings")[2].decode()

    garbage = [b"\x00\xff\x13 garbage\r\n\r\n", b"GET\r\n\r\n", b"GET / HTTP/9.9\r\n\r\n",
               b"GET /api/state HTTP/1.1\r\nHost: x\r\nContent-Length: abc\r\n\r\n",
               b"BREW /api/state HTTP/1.1\r\nHost: x\r\n\r\n"]
    for data in garbage:
        answer = raw_request(server.http_port, data)
        assert answer == b"" or answer.split(b" ")[1][:1] in (b"4", b"5"), (data, answer[:80])
    # A body far larger than any the page sends is refused before it is read.
    big = (b"POST /api/control?camera=0&name=gain&value=1 HTTP/1.1\r\nHost: x\r\n"
           b"Content-Length: 100000000\r\n\r\n")
    assert raw_request(server.http_port, big).split(b" ")[1] == b"413"
    # A client that stalls without reading costs only itself.
    stalled = socket.create_connection(("127.0.0.1", server.http_port))
    stalled.sendall(b"GET /live.mjpg?camera=0 HTTP/1.1\r\nHost: x\r\n\r\n")
    try:
        time.sleep(1)
        parts = live_pictures(server, 10)
    finally:
        stalled.close()
    assert_counting([counter.read(grey(j)) for j in parts], minimum_distinct=5)
    assert server.process.poll() is None
