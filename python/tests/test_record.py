"""Recording through Pelnik_Record, read back by ffprobe."""

import subprocess
import time


def probe(path):
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
         "-show_entries", "stream=width,height,nb_read_frames", "-of", "csv=p=0", str(path)],
        check=True, capture_output=True, text=True,
    ).stdout.strip()
    width, height, frames = (int(v) for v in out.split(","))
    return width, height, frames


def test_record_waits_for_a_finished_movie(cam, tmp_path):
    cam.color_mode = 24
    cam.window = (0, 0, 320, 240)
    try:
        path = cam.record(tmp_path / "movie.avi", 1.0)
    finally:
        cam.window = (0, 0, 1280, 1024)
    data = path.read_bytes()
    assert data[:4] == b"RIFF" and data[8:12] == b"AVI "
    assert int.from_bytes(data[4:8], "little") == len(data) - 8
    width, height, frames = probe(path)
    assert (width, height) == (320, 240)
    assert frames >= 5


def test_record_without_waiting_ends_at_stop(cam, tmp_path):
    cam.color_mode = 8
    cam.window = (0, 0, 160, 120)
    try:
        path = cam.record(tmp_path / "long.avi", 3600, wait=False)
        time.sleep(0.5)
        cam.stop()
    finally:
        cam.window = (0, 0, 1280, 1024)
    width, height, frames = probe(path)
    assert (width, height) == (160, 120) and frames >= 2
