"""OpenCV (Debian's python3-opencv) reading pelniksrc through an appsink, and
reading pelnik-serve's RTSP stream."""

from __future__ import annotations

import os
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

import cv2
import pytest

from conftest import assert_counting, virtcam


@pytest.fixture
def virtual_camera(tmp_path, monkeypatch):
    """pelnik-virtcam serving camera 0 in private runtime and settings folders."""
    program = virtcam()
    # Short: the camera's socket path must fit a Unix socket address.
    run = Path(tempfile.mkdtemp(prefix="pelnik-cv-"))
    monkeypatch.setenv("XDG_RUNTIME_DIR", str(run))
    monkeypatch.setenv("XDG_CONFIG_HOME", str(tmp_path / "config"))
    process = subprocess.Popen([program, "--cameras", "0", "--quiet"], stdout=subprocess.DEVNULL)
    deadline = time.monotonic() + 10
    while not (run / "pelnik" / "pelnik-virtcam.control").exists():
        assert process.poll() is None and time.monotonic() < deadline, "pelnik-virtcam did not start"
        time.sleep(0.02)
    yield
    process.terminate()
    process.wait(10)
    shutil.rmtree(run, ignore_errors=True)


def read_frames(capture: cv2.VideoCapture, count: int) -> list:
    assert capture.isOpened()
    pictures = []
    try:
        for _ in range(count):
            ok, picture = capture.read()
            assert ok, f"no picture after {len(pictures)}"
            pictures.append(picture)
    finally:
        capture.release()
    return pictures


def test_opencv_reads_pelniksrc_through_an_appsink(virtual_camera, counter):
    assert "GStreamer:                   YES" in cv2.getBuildInformation()
    capture = cv2.VideoCapture(
        "pelniksrc camera=0 color-mode=24 ! videoconvert ! video/x-raw,format=BGR ! "
        "appsink drop=true max-buffers=2", cv2.CAP_GSTREAMER)
    pictures = read_frames(capture, 15)
    assert pictures[0].shape == (1024, 1280, 3)
    numbers = [counter.read(cv2.cvtColor(p, cv2.COLOR_BGR2GRAY)) for p in pictures]
    assert_counting(numbers, minimum_distinct=8)


def test_opencv_reads_the_rtsp_stream(start_server, counter):
    server = start_server("0")
    os.environ["OPENCV_FFMPEG_CAPTURE_OPTIONS"] = "rtsp_transport;tcp"
    capture = cv2.VideoCapture(server.rtsp(0), cv2.CAP_FFMPEG)
    pictures = read_frames(capture, 30)
    assert pictures[0].shape == (1024, 1280, 3)
    numbers = [counter.read(cv2.cvtColor(p, cv2.COLOR_BGR2GRAY)) for p in pictures]
    assert_counting(numbers, minimum_distinct=15)
