#!/usr/bin/python3
"""Opens one saved picture with independent readers and compares what they
decode with the expected samples written by the test beside it.

Expected samples: height x width x channels values, top line first, channels
in red, green, blue (, alpha) order, bytes or little-endian 16-bit words.
Exit status 0 when every requested check passes; the reasons otherwise.
"""
import argparse
import re
import subprocess
import sys

import numpy as np

failures = []


def fail(message):
    failures.append(message)


def compare(reader, decoded, expected, max_error):
    if decoded.shape != expected.shape:
        fail(f"{reader}: shape {decoded.shape}, expected {expected.shape}")
        return
    difference = np.abs(decoded.astype(np.int64) - expected.astype(np.int64))
    if max_error == 0:
        if difference.any():
            where = np.argwhere(difference)[0]
            fail(f"{reader}: first differing sample at (row, column, channel) {tuple(where)}: "
                 f"{decoded[tuple(where)]} instead of {expected[tuple(where)]}")
    elif difference.mean() > max_error:
        fail(f"{reader}: mean error {difference.mean():.3f} above {max_error}")


def as_rgb_order(image):
    import cv2
    if image.ndim == 2:
        return image[:, :, np.newaxis]
    if image.shape[2] == 3:
        return cv2.cvtColor(image, cv2.COLOR_BGR2RGB)
    return cv2.cvtColor(image, cv2.COLOR_BGRA2RGBA)


def check_opencv(args, expected):
    import cv2
    image = cv2.imread(args.image, cv2.IMREAD_UNCHANGED)
    if image is None:
        fail("OpenCV could not open the file")
        return
    wanted = np.dtype(np.uint16 if args.depth == 16 else np.uint8)
    if image.dtype != wanted:
        fail(f"OpenCV: samples of type {image.dtype}, expected {wanted}")
        return
    compare("OpenCV", as_rgb_order(image), expected[:, :, :args.opencv_channels], args.max_error)


def check_pillow(args, expected):
    from PIL import Image
    with Image.open(args.image) as image:
        image.load()
        if image.mode != args.pillow_mode:
            fail(f"Pillow: mode {image.mode}, expected {args.pillow_mode}")
            return
        progressive = image.info.get("progressive") or image.info.get("progression")
        if args.progressive and not progressive:
            fail("Pillow: the JPEG is not progressive")
        decoded = np.asarray(image)
    if decoded.ndim == 2:
        decoded = decoded[:, :, np.newaxis]
    reference = expected[:, :, :decoded.shape[2]]
    if args.pillow_shift:
        reference = reference >> args.pillow_shift
    compare("Pillow", decoded.astype(np.int64), reference.astype(np.int64), args.max_error)


def check_tiffinfo(args):
    output = subprocess.run(["tiffinfo", "-s", args.image], capture_output=True, text=True)
    complaints = output.stderr.strip()
    # A fourth sample is written without an ExtraSamples tag (only the seven
    # tags are set); libtiff says so and reads it as an extra sample.
    if args.channels == 4:
        complaints = "\n".join(line for line in complaints.splitlines()
                                if "Defining non-color channels as ExtraSamples" not in line)
    if output.returncode != 0 or complaints:
        fail(f"tiffinfo: status {output.returncode}, {complaints}")
    text = output.stdout
    photometric = "min-is-black" if args.channels == 1 else "RGB color"
    for line in (f"Image Width: {args.width} Image Length: {args.height}",
                 f"Bits/Sample: {args.depth}", "Compression Scheme: None",
                 f"Photometric Interpretation: {photometric}", f"Samples/Pixel: {args.channels}",
                 "Planar Configuration: single image plane", "1 Strips:"):
        if line not in text:
            fail(f"tiffinfo does not show '{line}':\n{text}")
    # The seven tags the writer sets, and only libtiff's own strip tags beside them.
    dump = subprocess.run(["tiffdump", args.image], capture_output=True, text=True).stdout
    tags = {int(tag) for tag in re.findall(r"^\S+ \((\d+)\)", dump, re.MULTILINE)}
    set_by_writer = {256, 257, 258, 259, 262, 277, 284}
    strip_tags = {273, 278, 279}
    if not set_by_writer <= tags or not tags <= set_by_writer | strip_tags:
        fail(f"tiffdump shows the tags {sorted(tags)}")


def check_pngcheck(args):
    output = subprocess.run(["pngcheck", args.image], capture_output=True, text=True)
    if output.returncode != 0 or "OK:" not in output.stdout:
        fail(f"pngcheck: {output.stdout.strip()} {output.stderr.strip()}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--image", required=True)
    parser.add_argument("--samples", required=True)
    parser.add_argument("--width", type=int, required=True)
    parser.add_argument("--height", type=int, required=True)
    parser.add_argument("--channels", type=int, required=True)
    parser.add_argument("--depth", type=int, choices=(8, 16), required=True)
    parser.add_argument("--max-error", type=float, default=0.0, help="mean error allowed")
    parser.add_argument("--opencv-channels", type=int, help="channels OpenCV decodes")
    parser.add_argument("--pillow-mode", help="mode Pillow opens the file in; none: skip Pillow")
    parser.add_argument("--pillow-shift", type=int, default=0, help="bits Pillow drops")
    parser.add_argument("--progressive", action="store_true")
    parser.add_argument("--tiffinfo", action="store_true")
    parser.add_argument("--pngcheck", action="store_true")
    args = parser.parse_args()
    if args.opencv_channels is None:
        args.opencv_channels = args.channels

    dtype = np.dtype("<u2" if args.depth == 16 else "u1")
    expected = np.fromfile(args.samples, dtype=dtype)
    if expected.size != args.width * args.height * args.channels:
        print(f"{args.samples}: {expected.size} samples", file=sys.stderr)
        return 2
    expected = expected.reshape(args.height, args.width, args.channels)

    check_opencv(args, expected)
    if args.pillow_mode and args.pillow_mode != "none":
        check_pillow(args, expected)
    if args.tiffinfo:
        check_tiffinfo(args)
    if args.pngcheck:
        check_pngcheck(args)
    for message in failures:
        print(f"{args.image}: {message}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
