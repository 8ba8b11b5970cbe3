"""Opening cameras, properties and errors."""

import gc
import os

import pytest

import pelnik


def open_descriptors() -> int:
    return len(os.listdir("/proc/self/fd"))


def test_cameras_lists_the_present_cameras_with_their_numbers(virtcam):
    assert pelnik.cameras() == [
        pelnik.CameraInfo(0, "PelnikR5M-LX_01"),
        pelnik.CameraInfo(2, "PelnikR5M-LX_03"),
    ]


def test_an_absent_camera_raises_code_2(virtcam):
    with pytest.raises(pelnik.PelnikError) as caught:
        pelnik.Camera(1)
    assert caught.value.code == 2
    assert caught.value.meaning == "the camera is not connected or another process is using it"
    assert str(caught.value).endswith("(error 2)")
    assert caught.value.function == "Pelnik_SetDeviceNumber"


def test_second_camera_opens_by_number(virtcam):
    with pelnik.Camera(2) as cam:
        assert cam.name == "PelnikR5M-LX_03"
        assert cam.limits.width == 1280 and cam.limits.height == 1024
        assert cam.limits.gain_min < cam.limits.gain_max


def test_every_filter_value_round_trips_and_the_sdk_range_is_enforced(cam):
    before = cam.filter_values()
    assert len(before) == 27
    # A value inside each range, and one outside where the SDK refuses.
    inside = {
        "brightness": -40,
        "contrast": 30,
        "hue": 90,
        "saturation": -20,
        "sharpness": 7,
        "bayer_gain_red": 150,
        "bayer_gain_green": 90,
        "bayer_gain_blue": 300,
        "gamma": 120,
        "bayer_mode": 2,
        "gray_mode": 1,
        "gray_gain_r": 200,
        "gray_gain_g1": 12,
        "gray_gain_g2": 255,
        "gray_gain_b": 0,
        "gray_offset_r": -255,
        "gray_offset_g1": 3,
        "gray_offset_g2": 255,
        "gray_offset_b": -1,
        "global_gain": 77,
        "exposure_time": 300,
        "color_gain_red": 0,
    }
    outside = {
        "brightness": 256,
        "contrast": -128,
        "hue": 361,
        "saturation": -256,
        "sharpness": 31,
        "bayer_gain_red": 401,
        "gamma": 201,
        "bayer_mode": 4,
        "gray_mode": 3,
        "gray_gain_b": 256,
        "gray_offset_g2": -256,
        "color_gain_blue": 5,
        "global_gain": cam.limits.gain_max + 1,
        "exposure_time": cam.limits.exposure_min - 1,
    }
    try:
        for name, value in inside.items():
            setattr(cam, name, value)
            assert getattr(cam, name) == value, name
        for name, value in outside.items():
            kept = getattr(cam, name)
            with pytest.raises(pelnik.PelnikError) as caught:
                setattr(cam, name, value)
            assert caught.value.code == 9, name
            assert getattr(cam, name) == kept, name
        cam.bayer_gain_rgb = 50 | 100 << 8 | 200 << 16
        assert (cam.bayer_gain_red, cam.bayer_gain_green, cam.bayer_gain_blue) == (50, 100, 200)
        assert cam.bayer_gain_rgb == 50 | 100 << 8 | 200 << 16
        cam.bayer_gain_auto = 7
        assert cam.bayer_gain_auto == 1
        cam.gray_calibration = 1
        assert cam.gray_calibration == 1
        with pytest.raises(pelnik.PelnikError) as caught:
            cam.gray_calibration = 2
        assert caught.value.code == 9
    finally:
        cam.gray_calibration = 0
        cam.bayer_gain_auto = 0
        for name, value in before.items():
            if name != "bayer_gain_rgb":
                setattr(cam, name, value)


def test_video_format_properties(cam):
    cam.color_mode = 48
    assert cam.color_mode == 48
    with pytest.raises(pelnik.PelnikError) as caught:
        cam.color_mode = 12
    assert caught.value.code == 9 and cam.color_mode == 48

    cam.window = (100, 50, 640, 480)
    assert cam.window == (100, 50, 640, 480)
    assert (cam.width, cam.height) == (640, 480)
    cam.subsample = 1
    assert cam.picture_size == (320, 240)
    assert cam.picture_shape == ((240, 320, 3), pelnik.camera.np.uint16)
    with pytest.raises(pelnik.PelnikError):
        cam.subsample = 2
    assert cam.subsample == 1

    with pytest.raises(pelnik.PelnikError) as caught:
        cam.window = (100, 0, 1200, 1024)
    assert caught.value.code == 7

    cam.wait_time = 25
    assert cam.wait_time == 25
    with pytest.raises(pelnik.PelnikError):
        cam.wait_time = -1
    assert cam.wait_time == 25

    cam.exposure_us = 1000
    assert cam.exposure_time == 31 and cam.exposure_us == 974
    cam.mirror_h = True
    assert cam.mirror_h and not cam.mirror_v
    cam.mirror_h = False
    cam.auto_iris = 2
    assert cam.auto_iris == 2
    with pytest.raises(pelnik.PelnikError) as caught:
        cam.auto_iris = 3
    assert caught.value.code == 9  # a posted notice, not a recorded code
    cam.auto_iris = 0
    cam.window = (0, 0, 1280, 1024)
    cam.subsample = 0


def test_a_closed_camera_raises_and_close_is_idempotent(virtcam):
    cam = pelnik.Camera(0)
    cam.close()
    cam.close()
    assert cam.closed
    with pytest.raises(pelnik.PelnikError) as caught:
        cam.gamma  # pylint: disable=pointless-statement
    assert caught.value.code == 1


def test_cameras_and_message_targets_are_not_leaked(virtcam):
    # Warm up: the library's own lazily made resources.
    with pelnik.Camera(0) as cam:
        next(cam.frames(count=1))
    baseline = open_descriptors()
    for _ in range(5):
        with pelnik.Camera(0) as cam:
            for _ in cam.frames(count=1):
                pass
    # Dropped without close: the finalizer releases the camera.
    for _ in range(5):
        cam = pelnik.Camera(0)
        stream = cam.frames(count=3)
        next(stream)
        del stream, cam
        gc.collect()
    assert open_descriptors() == baseline
    # The camera is free again for a stream of its own.
    with pelnik.Camera(0) as cam:
        assert next(cam.frames(count=1)).size > 0


def test_a_misspelt_setting_raises_and_the_other_tools_names_are_aliases(cam):
    for wrong in ("exposure", "gama", "colour_mode"):
        with pytest.raises(AttributeError, match=f"no setting '{wrong}'"):
            setattr(cam, wrong, 5)
    with pytest.raises(AttributeError, match="did you mean gamma"):
        cam.gama = 100
    # pelnik-capture's --gain and --exposure-lines, pelniksrc's gain and exposure-lines.
    cam.gain = 20
    assert cam.global_gain == 20
    cam.exposure_lines = 300
    assert cam.exposure_time == 300
    assert "gain" not in cam.filter_values() and "exposure_lines" not in cam.filter_values()
    # Read-only facts stay read-only.
    with pytest.raises(AttributeError):
        cam.limits = None
