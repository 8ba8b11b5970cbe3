"""Recording through Pelnik_Record, read back by ffprobe."""

import subprocess
import time

import pytest

import pelnik


def probe(path):
    out = subprocess.run(
        [
            "ffprobe",
            "-v",
            "error",
            "-count_frames",
            "-select_streams",
            "v:0",
            "-show_entries",
            "stream=width,height,nb_read_frames",
            "-of",
            "csv=p=0",
            str(path),
        ],
        check=True,
        capture_output=True,
        text=True,
    ).stdout.strip()
    width, height, frames = (int(v) for v in out.split(","))
    return width, height, frames


def test_record_returns_the_finished_movie(cam, tmp_path):
    cam.color_mode = 24
    cam.window = (0, 0, 320, 240)
    try:
        started = time.monotonic()
        recording = cam.record(tmp_path / "movie.avi", 1.0)
        took = time.monotonic() - started
        # The acquisition the recording started is stopped again.
        assert cam.snapshot().shape == (240, 320, 3)
    finally:
        cam.window = (0, 0, 1280, 1024)
    assert recording.ended == "duration"
    assert 1.0 <= took < 8.0
    data = recording.path.read_bytes()
    assert data[:4] == b"RIFF" and data[8:12] == b"AVI "
    assert int.from_bytes(data[4:8], "little") == len(data) - 8
    assert probe(recording.path) == (320, 240, recording.frames)
    assert recording.frames >= 5


def test_started_recording_ends_at_stop(cam, tmp_path):
    cam.color_mode = 8
    cam.window = (0, 0, 160, 120)
    try:
        path = cam.start_recording(tmp_path / "long.avi", -1)  # until stopped
        time.sleep(0.5)
        cam.stop()
    finally:
        cam.window = (0, 0, 1280, 1024)
    width, height, frames = probe(path)
    assert (width, height) == (160, 120) and frames >= 2


def test_refused_recording_raises_the_sdk_code(cam, tmp_path):
    with pytest.raises(pelnik.PelnikError) as caught:
        cam.record(tmp_path / "no-such-dir" / "movie.avi", 1.0)
    assert caught.value.code == 12
    assert caught.value.function == "Pelnik_Record"
