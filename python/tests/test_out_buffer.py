"""frames() and snapshot() into the caller's preallocated buffer."""

import tracemalloc

import numpy as np
import pytest

from conftest import read_stamp


def test_frames_fill_one_array_without_allocating_per_picture(cam):
    cam.color_mode = 8
    shape, dtype = cam.picture_shape
    out = np.zeros(shape, dtype)
    stamps = []
    tracemalloc.start()
    try:
        for picture in cam.frames(count=3, out=out):  # warm-up: the stream's own set-up
            pass
        tracemalloc.reset_peak()
        before = tracemalloc.get_traced_memory()[0]
        for picture in cam.frames(count=20, out=out):
            assert picture is out
            stamps.append(read_stamp(out[0])[0])
        peak = tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()
    # Twenty pictures of 1.3 MB each passed through less than one picture's worth.
    assert peak - before < out.nbytes // 4, f"{peak - before} bytes allocated"
    assert all(a < b for a, b in zip(stamps, stamps[1:])), stamps


@pytest.mark.parametrize("bits", [24, 16])
def test_any_writable_buffer_of_the_right_size_takes_the_picture(cam, bits):
    cam.color_mode = bits
    shape, dtype = cam.picture_shape
    nbytes = int(np.prod(shape)) * np.dtype(dtype).itemsize
    raw = bytearray(nbytes)
    picture = next(cam.frames(count=1, out=raw))
    assert picture.shape == shape and picture.dtype == dtype
    assert np.shares_memory(picture, np.frombuffer(raw, np.uint8))
    view = memoryview(bytearray(nbytes))
    still = cam.snapshot(out=view)
    assert np.shares_memory(still, np.frombuffer(view, np.uint8))
    # The chart above the moving disc is the same in every picture.
    assert np.array_equal(picture[100:700], still[100:700])
    assert picture[100:700].any()


def test_snapshot_into_an_array_returns_that_array(cam):
    cam.color_mode = 8
    shape, dtype = cam.picture_shape
    out = np.zeros(shape, dtype)
    assert cam.snapshot(out=out) is out
    assert read_stamp(out[0]) == read_stamp(out[-1]) is not None


def test_odd_row_sizes_go_through_the_padding_into_out(cam):
    # 24-bit rows of an odd width are padded to 4 bytes by the SDK.
    cam.color_mode = 24
    cam.window = (0, 0, 101, 40)
    shape, dtype = cam.picture_shape
    out = np.zeros(shape, dtype)
    first = cam.snapshot()
    assert cam.snapshot(out=out) is out
    # Same scene, same place: only the stamp rows and their neighbours differ.
    assert out.shape == first.shape and np.array_equal(out[3:-3], first[3:-3])
    assert out[3:-3].any()


def test_wrong_out_is_refused_before_the_stream_starts(cam):
    cam.color_mode = 8
    shape, _ = cam.picture_shape
    h, w = shape
    wrong = [
        (np.zeros((h, w), np.uint16), ValueError),
        (np.zeros((h, w + 1), np.uint8), ValueError),
        (np.zeros((h, w, 1), np.uint8), ValueError),
        (np.zeros((w, h), np.uint8), ValueError),
        (np.zeros((h, 2 * w), np.uint8)[:, ::2], ValueError),  # not contiguous
        (bytes(h * w), ValueError),  # read-only
        (bytearray(h * w - 1), ValueError),
        ("not a buffer", TypeError),
    ]
    read_only = np.zeros((h, w), np.uint8)
    read_only.flags.writeable = False
    wrong.append((read_only, ValueError))
    for out, error in wrong:
        with pytest.raises(error):
            next(cam.frames(count=1, out=out))
        with pytest.raises(error):
            cam.snapshot(out=out)
    # Nothing was left streaming: a plain stream still starts.
    assert next(cam.frames(count=1)).shape == shape
