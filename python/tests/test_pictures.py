"""Pictures: streams, snapshots, files, triggers, recording."""

import asyncio
import re
import contextlib
import threading
from pathlib import Path

import numpy as np
import pytest
from conftest import read_stamp
from PIL import Image

import pelnik

SHAPES = {
    8: ((1024, 1280), np.uint8),
    16: ((1024, 1280), np.uint16),
    24: ((1024, 1280, 3), np.uint8),
    32: ((1024, 1280, 4), np.uint8),
    48: ((1024, 1280, 3), np.uint16),
    64: ((1024, 1280, 4), np.uint16),
}


@pytest.mark.parametrize("bits", sorted(SHAPES))
def test_frames_have_the_shape_and_dtype_of_the_colour_mode(cam, bits):
    cam.color_mode = bits
    pictures = list(cam.frames(count=3))
    shape, dtype = SHAPES[bits]
    for picture in pictures:
        assert picture.shape == shape and picture.dtype == dtype
        assert picture.flags.owndata and picture.flags.c_contiguous
        if dtype == np.uint16:
            assert picture.max() <= 1023  # 10 significant bits
        assert picture.max() > 0
    # Each picture is its own memory.
    assert len({p.ctypes.data for p in pictures}) == 3


@pytest.mark.parametrize("bits", [8, 16])
def test_frames_are_whole_distinct_frames(cam, bits):
    cam.color_mode = bits
    stamps = []
    pictures = []
    for picture in cam.frames(count=6):
        top, bottom = read_stamp(picture[0]), read_stamp(picture[-1])
        assert top is not None and top == bottom  # one frame, not two halves
        stamps.append(top[0])
        pictures.append(picture)
    assert stamps == sorted(stamps) and len(set(stamps)) == len(stamps)
    # A yielded picture keeps its content while the stream goes on.
    assert read_stamp(pictures[0][0])[0] == stamps[0]


def test_padded_rows_are_removed(cam):
    cam.color_mode = 8
    cam.window = (8, 4, 641, 301)  # 641-byte rows are padded to 644 by the SDK
    try:
        picture = next(cam.frames(count=1))
        assert picture.shape == (301, 641)
        assert read_stamp(picture[0]) == read_stamp(picture[-1]) is not None
        cam.subsample = 1
        picture = next(cam.frames(count=1))
        assert picture.shape == (150, 320)
    finally:
        cam.subsample = 0
        cam.window = (0, 0, 1280, 1024)


def test_async_frames_are_driven_by_the_message_descriptor(cam):
    cam.color_mode = 8

    async def collect():
        stamps = []
        async with contextlib.aclosing(cam.aframes(count=4)) as stream:
            async for picture in stream:
                stamps.append(read_stamp(picture[0])[0])
        return stamps

    stamps = asyncio.run(collect())
    assert len(stamps) == 4 and stamps == sorted(set(stamps))


def test_leaving_a_stream_early_stops_it(cam):
    cam.color_mode = 8
    for _ in cam.frames():
        break
    # A snapshot is refused while a stream runs: it works, so the stream stopped.
    assert cam.snapshot().shape == (1024, 1280)


def test_a_second_stream_at_once_is_refused(cam):
    outer = cam.frames(count=2)
    next(outer)
    with pytest.raises(pelnik.PelnikError) as caught:
        next(cam.frames(count=1))
    assert caught.value.code == 1
    next(outer)
    outer.close()


def test_stalled_camera_raises_frame_timeout(cam, virtcam):
    stream = cam.frames(timeout=0.5)
    next(stream)
    virtcam.ctl("stall")
    with pytest.raises(pelnik.FrameTimeout) as caught:
        for _ in range(100):
            next(stream)
    assert isinstance(caught.value, pelnik.PelnikError) and isinstance(caught.value, TimeoutError)
    assert caught.value.code == 13


def test_unplugged_camera_ends_the_stream_with_the_sdk_code(cam, virtcam):
    stream = cam.frames(timeout=15)
    next(stream)
    virtcam.ctl("unplug")
    with pytest.raises(pelnik.PelnikError) as caught:
        for _ in range(1000):
            next(stream)
    assert caught.value.code == 13 and not isinstance(caught.value, pelnik.FrameTimeout)
    # The acquisition thread recorded 13 in the SDK's history; a later
    # failure that is only posted is reported with its own code.
    with pytest.raises(pelnik.PelnikError) as caught:
        cam._call("Pelnik_Fps")  # unsupported: posts 11, records nothing
    assert caught.value.code == 11
    assert caught.value.meaning == "this camera model does not support the call"


def test_snapshot_and_save_write_the_same_picture(cam, tmp_path):
    cam.color_mode = 24
    with pytest.raises(pelnik.PelnikError) as caught:
        cam.save(tmp_path / "early.png")
    assert caught.value.code == 1  # nothing taken yet
    picture = cam.snapshot()
    assert picture.shape == (1024, 1280, 3)
    for name in ("shot.png", "shot.bmp", "shot.tiff"):
        path = cam.save(tmp_path / name)
        read = np.asarray(Image.open(path).convert("RGB"))[:, :, ::-1]  # to BGR
        assert np.array_equal(read, picture), name
    jpeg = cam.save(tmp_path / "shot.jpg", "jpeg70")
    assert np.abs(np.asarray(Image.open(jpeg).convert("RGB"))[:, :, ::-1].astype(int) - picture).mean() < 4
    with pytest.raises(pelnik.PelnikError) as caught:
        cam.save(tmp_path / "shot.gif")
    assert caught.value.code == 9
    with pytest.raises(pelnik.PelnikError) as caught:
        cam.save(tmp_path / "missing-dir" / "shot.png")
    assert caught.value.function == "Pelnik_SaveImage"


def test_trigger_yields_one_picture_per_trigger(cam, virtcam):
    cam.color_mode = 8
    stop = threading.Event()

    def fire():
        while not stop.wait(0.2):
            virtcam.ctl("trigger")

    firing = threading.Thread(target=fire)
    firing.start()
    try:
        stamps = [read_stamp(p[0])[0] for p in cam.trigger(count=3, timeout=10)]
    finally:
        stop.set()
        firing.join()
    assert len(set(stamps)) == 3


def test_the_readme_example_values_give_a_well_exposed_picture(virtcam):
    # The quick start is what a newcomer copies: its settings must not give
    # a black picture.
    readme = (Path(__file__).resolve().parents[2] / "README.md").read_text()
    gamma = int(re.search(r"cam\.gamma = (\d+)", readme).group(1))
    exposure = int(re.search(r"cam\.exposure_us = (\d+)", readme).group(1))
    with pelnik.Camera(0) as cam:
        cam.color_mode = 24
        cam.gamma = gamma
        cam.exposure_us = exposure
        pictures = list(cam.frames(count=3))
    assert 60 < float(pictures[-1].mean()) < 200
