"""RTSP: each camera's H.264 stream, read by ffprobe and ffmpeg as clients."""

from __future__ import annotations

import json
import subprocess
import time

import pytest

from conftest import assert_counting, need, rtsp_reader


def test_each_camera_streams_h264_with_its_counter(start_server, counter):
    server = start_server("0,1")
    for camera in (0, 1):
        probe = subprocess.run(
            [need("ffprobe"), "-v", "error", "-rtsp_transport", "tcp", "-show_streams",
             "-of", "json", server.rtsp(camera)],
            check=True, capture_output=True, text=True, timeout=60)
        stream = json.loads(probe.stdout)["streams"][0]
        assert stream["codec_name"] == "h264"
        assert stream["pix_fmt"] == "yuv420p"
        assert (stream["width"], stream["height"]) == (1280, 1024)

        pictures = server.decode_rtsp(camera, 60)
        assert_counting([counter.read(p) for p in pictures], minimum_distinct=30)


def test_two_clients_share_a_camera_and_one_leaves(start_server, counter):
    server = start_server("0")
    # The leaving client reads without end until it is killed mid-stream.
    leaving = subprocess.Popen(rtsp_reader(server.rtsp(0)) + ["-f", "null", "-"],
                               stdin=subprocess.DEVNULL)
    try:
        time.sleep(2)
        assert leaving.poll() is None, "the first client ended on its own"
        leaving.kill()
        leaving.wait(10)
        pictures = server.decode_rtsp(0, 60)
    finally:
        if leaving.poll() is None:
            leaving.kill()
            leaving.wait(10)
    assert_counting([counter.read(p) for p in pictures], minimum_distinct=30)
    # The server still takes new clients after one went away.
    later = server.decode_rtsp(0, 10)
    first_late = next(n for n in (counter.read(p) for p in later) if n is not None)
    last_early = max(n for n in (counter.read(p) for p in pictures) if n is not None)
    assert first_late > last_early


def test_clients_at_once_each_decode(start_server, counter):
    server = start_server("0")
    procs = [subprocess.Popen(
        rtsp_reader(server.rtsp(0)) +
        ["-frames:v", "30", "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt", "gray", "-"],
        stdout=subprocess.PIPE) for _ in range(2)]
    outputs = [p.communicate(timeout=90)[0] for p in procs]
    for p, data in zip(procs, outputs):
        assert p.returncode == 0
        assert len(data) == 30 * 1280 * 1024


@pytest.mark.parametrize("fault,heal", [("stall", "resume"), ("unplug", "plug")])
def test_a_lost_camera_is_logged_and_its_stream_goes_on_after(start_server, counter, fault, heal):
    server = start_server("0")
    before = server.decode_rtsp(0, 10)
    server.inject(fault, 0)
    server.wait_for_log("camera 0: no picture for 5 s")
    # The server outlives the camera's failure and keeps trying to start it.
    time.sleep(3)
    assert server.process.poll() is None, server.text()
    server.inject(heal, 0)
    server.wait_for_log("camera 0 delivers pictures again")
    after = server.decode_rtsp(0, 30)
    assert_counting([counter.read(p) for p in after], minimum_distinct=10)
    last_before = max(n for n in (counter.read(p) for p in before) if n is not None)
    first_after = next(n for n in (counter.read(p) for p in after) if n is not None)
    assert first_after > last_before
